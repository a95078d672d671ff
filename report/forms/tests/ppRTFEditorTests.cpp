// The rich-text editor and what a designer opens from the components'
// pop-up menus.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "ppBarCode.h"
#include "ppDesignControls.h"
#include "ppFormsKit.h"
#include "ppMessages.h"
#include "ppRTFEditor.h"
#include "ppRichText.h"
#include "rtlStreams.h"
#include "uiTestSupport.h"

namespace {

template <class T>
T* Place(TKitReport& kit) {
  auto* component = new T(kit.Report);
  component->SetBand(kit.Report->GetBand(btDetail));
  component->SetBounds(mm(100), 0, mm(60), mm(20));
  return component;
}

// A dialog of the given abstract class answered by the test: fill reads
// what the component gave it and sets what comes back.
template <class Abstract>
class TScriptedForm : public Abstract {
public:
  static constexpr const char* FormName = "TScriptedForm";
  using Abstract::Abstract;
  static inline std::function<int(Abstract&)> Answer;
  void LoadFromEditorStream() {}
};

class TBarCodeForm : public TScriptedForm<TppCustomBarCodeDialog> {
public:
  using TScriptedForm::TScriptedForm;
};

class TEditorForm : public TScriptedForm<TppCustomRTFEditor> {
public:
  using TScriptedForm::TScriptedForm;
  void LoadFromEditorStream() override {
    const int64_t count = EditorStream->Size() - EditorStream->Position();
    Given.resize(static_cast<size_t>(count));
    if (count > 0) EditorStream->ReadBuffer(Given.data(), count);
  }
  static inline std::string Given;
};

// Registers Form for its abstract class and answers it while this lives.
template <class Abstract, class Form>
struct TRegisteredForm {
  explicit TRegisteredForm(std::function<int(Abstract&)> answer) {
    Form::Answer = std::move(answer);
    ppRegisterFormClass<Abstract, Form>();
    previous = ppSetFormRunner([](TppForm& form) { return Form::Answer(dynamic_cast<Abstract&>(form)); });
  }
  ~TRegisteredForm() {
    ppSetFormRunner(previous);
    ppUnRegisterFormClass(Abstract::AbstractName);
  }
  TppFormRunner previous;
};


}  // namespace

TEST(DesignDialogs, TheBarCodeDialogChangesTheSettingsOnOKOnly) {
  TKitReport kit(1);
  auto* barCode = Place<TppBarCode>(kit);
  struct TCase {
    int Result;
    bool Changed;
  };
  for (const TCase& c : {TCase{ppmrCancel, false}, TCase{ppmrOK, true}}) {
    barCode->SetBarCodeType(bcCode39);
    barCode->SetData("CODE39");
    std::string given;
    TRegisteredForm<TppCustomBarCodeDialog, TBarCodeForm> form([&](TppCustomBarCodeDialog& d) {
      given = d.Data + "/" + std::to_string(d.BarCodeType) + "/" + std::to_string(d.BarWidth);
      d.BarCodeType = bcEAN_13;
      d.Orientation = orBottomToTop;
      d.BarWidth = 500;
      d.WideBarRatio = 2.5;
      d.AddOnCode = "12";
      d.CalcCheckDigit = false;
      return c.Result;
    });
    EXPECT_EQ(barCode->DesignCommand("Configure"), c.Changed);
    EXPECT_EQ(given, "CODE39/" + std::to_string(bcCode39) + "/254");
    EXPECT_EQ(barCode->BarCodeType(), c.Changed ? bcEAN_13 : bcCode39);
    EXPECT_EQ(barCode->Orientation(), c.Changed ? orBottomToTop : orLeftToRight);
    EXPECT_EQ(barCode->mmBarWidth(), c.Changed ? 500 : 254);
    EXPECT_EQ(barCode->mmWideBarRatio(), c.Changed ? 63500 : 76200);
    EXPECT_EQ(barCode->AddOnCode(), c.Changed ? "12" : "");
    EXPECT_EQ(barCode->CalcCheckDigit(), !c.Changed);
  }
}

TEST(DesignDialogs, TheEditorGetsTheTextAndGivesItBackOnOK) {
  TKitReport kit(1);
  auto* rich = Place<TppRichText>(kit);
  rich->SetMailMerge(true);
  struct TCase {
    int Result;
    const char* Expected;
  };
  for (const TCase& c : {TCase{ppmrCancel, "Dear <OWNER>"}, TCase{ppmrOK, "Edited {text}"}}) {
    rich->SetRichText("{\\rtf1 Dear <OWNER>}");
    bool mailMerge = false;
    TObject* report = nullptr;
    TRegisteredForm<TppCustomRTFEditor, TEditorForm> form([&](TppCustomRTFEditor& e) {
      mailMerge = e.MailMerge;
      report = e.Report();
      const std::string edited = "{\\rtf1 Edited \\{text\\}}";
      e.EditorStream->SetSize(0);
      e.EditorStream->SetPosition(0);
      e.EditorStream->WriteBuffer(edited.data(), static_cast<int64_t>(edited.size()));
      return c.Result;
    });
    EXPECT_EQ(rich->DesignCommand("Edit"), c.Result == ppmrOK);
    EXPECT_TRUE(mailMerge);
    EXPECT_EQ(report, kit.Report);
    TRichTextBuffer given;
    given.LoadRichText(TEditorForm::Given, TFont{});
    EXPECT_EQ(given.PlainText(), "Dear <OWNER>");
    EXPECT_EQ(rich->PlainText(), c.Expected);
  }
}


namespace {

// Per character: the same characters, fonts and paragraph formats.
void ExpectSameText(const TRichDocument& got, const TRichDocument& want, const std::string& what) {
  TRichTextBuffer a, b;
  a.LoadDocument(got);
  b.LoadDocument(want);
  ASSERT_EQ(a.PlainText(), b.PlainText()) << what;
  for (int i = 0; i + 1 < a.CharCount(); ++i) {
    a.SetSelStart(i);
    b.SetSelStart(i);
    ASSERT_TRUE(a.SelAttributes() == b.SelAttributes()) << what << " at " << i;
    ASSERT_TRUE(a.Paragraph() == b.Paragraph()) << what << " at " << i;
  }
}

std::string StreamText(TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

}  // namespace

TEST(RTFEditor, ATextComesBackAsItWentInWhenNothingIsEdited) {
  TestApplication();
  // Values the editor has no control for (odd twips, tab stops, a system
  // colour) travel with the text.
  const char* const texts[] = {
      "{\\rtf1 Plain \\b bold\\b0 , \\i italic\\i0 , \\ul under\\ulnone , \\strike gone\\strike0\\par}",
      "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}{\\colortbl;\\red255\\green0\\blue0;}"
      "\\f0\\fs20 Ten \\f1\\fs31 fifteen \\cf1 red\\cf0\\par\\qc Centred\\par\\qr Right\\par\\qj Justified}",
      "{\\rtf1\\li733\\ri251\\fi-367\\sb97\\sa41\\sl-300\\tx1001\\tx2003 Indented\\tab tab\\line break\\par next}",
      "{\\rtf1 caf\\u233? \\u8364? and \\{braces\\} \\\\ backslash}",
      "",
  };
  for (const char* text : texts) {
    TppRTFEditor editor;
    TMemoryStream stream;
    stream.WriteBuffer(text, static_cast<int64_t>(std::string(text).size()));
    stream.SetPosition(0);
    editor.EditorStream = &stream;
    editor.LoadFromEditorStream();
    editor.OKClick();
    EXPECT_EQ(editor.ModalResult(), ppmrOK);
    ExpectSameText(ParseRichText(StreamText(stream), TFont{}), ParseRichText(text, TFont{}), text);
  }
}

TEST(RTFEditor, TheBarFormatsTheSelection) {
  TestApplication();
  struct TCase {
    const char* Name;
    std::function<void(TppRTFEditor&)> Act;
    std::function<bool(const TRichTextBuffer&)> Check;  // the word "two" selected
  };
  const TCase cases[] = {
      {"bold", [](TppRTFEditor& e) { e.btnBold->click(); },
       [](const TRichTextBuffer& t) { return t.SelAttributes().HasStyle(fsBold); }},
      {"underline", [](TppRTFEditor& e) { e.btnUnderline->click(); },
       [](const TRichTextBuffer& t) { return t.SelAttributes().HasStyle(fsUnderline); }},
      {"size", [](TppRTFEditor& e) { e.spnFontSize->setValue(18); },
       [](const TRichTextBuffer& t) { return t.SelAttributes().Size() == 18; }},
      {"font", [](TppRTFEditor& e) { e.cbxFontName->setCurrentText("Courier New"); },
       [](const TRichTextBuffer& t) { return t.SelAttributes().Name() == "Courier New"; }},
      {"centred", [](TppRTFEditor& e) { e.btnAlignCenter->click(); },
       [](const TRichTextBuffer& t) { return t.Paragraph().Alignment == raCenter; }},
  };
  for (const TCase& c : cases) {
    TppRTFEditor editor;
    TMemoryStream stream;
    const std::string text = "{\\rtf1 one two three\\par four}";
    stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    stream.SetPosition(0);
    editor.EditorStream = &stream;
    editor.LoadFromEditorStream();
    QTextCursor cursor = editor.memRichText->textCursor();
    cursor.setPosition(4);
    cursor.setPosition(7, QTextCursor::KeepAnchor);
    editor.memRichText->setTextCursor(cursor);
    c.Act(editor);
    editor.OKClick();
    TRichTextBuffer result;
    result.LoadRichText(StreamText(stream), TFont{});
    ASSERT_EQ(result.PlainText(), "one two three\rfour") << c.Name;
    result.SetSelStart(4);
    EXPECT_TRUE(c.Check(result)) << c.Name;
    result.SetSelStart(0);
    const TRichParagraphFormat plain;
    EXPECT_FALSE(result.SelAttributes().HasStyle(fsBold) || result.SelAttributes().HasStyle(fsUnderline) ||
                 result.SelAttributes().Size() != 10 || result.SelAttributes().Name() != "Arial")
        << c.Name << ": the unselected word keeps its font";
    result.SetSelStart(15);
    EXPECT_TRUE(result.Paragraph() == plain) << c.Name << ": the other paragraph keeps its format";
  }
}

TEST(RTFEditor, AMergedTextOffersTheReportsFieldsToInsert) {
  TKitReport kit(1);
  auto* rich = Place<TppRichText>(kit);
  ppRegisterFormClass<TppCustomRTFEditor, TppRTFEditor>();
  struct TCase {
    bool MailMerge;
    int Fields;
  };
  for (const TCase& c : {TCase{false, 0}, TCase{true, 4}}) {
    rich->SetMailMerge(c.MailMerge);
    rich->SetRichText("{\\rtf1 Dear }");
    int offered = -1;
    TFormAnswers answers([&](TppForm& form) {
      auto& editor = dynamic_cast<TppRTFEditor&>(form);
      form.Activated();
      offered = editor.cbxFields->count();
      if (offered > 0) {
        editor.memRichText->moveCursor(QTextCursor::End);
        editor.cbxFields->setCurrentText("NAME");
        editor.btnInsertField->click();
      }
      editor.btnOK->click();
      return editor.ModalResult();
    });
    EXPECT_TRUE(rich->Edit());
    EXPECT_EQ(offered, c.Fields);
    EXPECT_EQ(rich->PlainText(), c.MailMerge ? "Dear <NAME>" : "Dear ");
  }
  ppUnRegisterFormClass(TppCustomRTFEditor::AbstractName);
}

TEST(RTFEditor, TheDesignMenuSwitchesPropertiesAndOpensTheEditor) {
  TKitReport kit(1);
  auto* rich = Place<TppRichText>(kit);
  rich->SetRichText("{\\rtf1 Old}");
  TppPopupMenu menu;
  ASSERT_TRUE(ppBuildDesignMenu(menu, rich));
  EXPECT_FALSE(ppBuildDesignMenu(menu, kit.Text)) << "a component that offers no menu";
  std::vector<std::string> names;
  for (QAction* action : menu.actions()) names.push_back(action->objectName().toStdString());
  EXPECT_EQ(names, (std::vector<std::string>{"Edit", "KeepTogether", "MailMerge", "ReprintOnOverFlow", "ShiftWithParent",
                                             "Stretch", "Transparent"}));
  EXPECT_EQ(menu.FindItem("Edit")->text().toStdString(), ppLoadMessage(120));
  QAction* mailMerge = menu.FindItem("MailMerge");
  ASSERT_TRUE(mailMerge->isCheckable());
  mailMerge->trigger();
  EXPECT_TRUE(rich->MailMerge());
  EXPECT_FALSE(menu.FindItem("Edit")->isCheckable());
  ppRegisterFormClass<TppCustomRTFEditor, TppRTFEditor>();
  {
    TFormAnswers answers([](TppForm& form) {
      auto& editor = dynamic_cast<TppRTFEditor&>(form);
      editor.memRichText->selectAll();
      editor.memRichText->textCursor().insertText("New");
      editor.btnOK->click();
      return editor.ModalResult();
    });
    menu.FindItem("Edit")->trigger();
  }
  ppUnRegisterFormClass(TppCustomRTFEditor::AbstractName);
  EXPECT_EQ(rich->PlainText(), "New");
}
