#include <gtest/gtest.h>

#include "ppEngineForms.h"
#include "ppFormsKit.h"
#include "ppMessages.h"
#include "ppTmplDlg.h"
#include "uiTestSupport.h"

namespace {

class ppTemplateDialogTest : public ::testing::Test {
protected:
  TKitReport kit{3};  // names "Row 1" to "Row 3"

  std::unique_ptr<TppTemplateDialog> Open(TppCustomTemplateDialog::TMode mode, const std::string& name) {
    auto dialog = std::make_unique<TppTemplateDialog>();
    dialog->Mode = mode;
    dialog->NameField = "NAME";
    dialog->SetDataPipeline(kit.Pipeline);
    dialog->SetTemplateName(name);
    dialog->Activated();
    return dialog;
  }
};

TEST_F(ppTemplateDialogTest, NamesAreListedOnceInOrder) {
  auto dialog = Open(TppCustomTemplateDialog::tmOpen, "");
  dialog->Activated();  // again: nothing added twice
  EXPECT_EQ(dialog->GetTemplateNames(), (std::vector<std::string>{"Row 1", "Row 2", "Row 3"}));
  EXPECT_EQ(dialog->windowTitle(), "Open");
  kit.Data->First();
  while (!kit.Data->IsEmpty()) kit.Data->Delete();
  EXPECT_TRUE(Open(TppCustomTemplateDialog::tmOpen, "")->GetTemplateNames().empty());
}

TEST_F(ppTemplateDialogTest, OpenAndSaveCloseOnlyWhenTheNameFits) {
  struct Case {
    TppCustomTemplateDialog::TMode mode;
    const char* name;
    TModalResult answer;
    bool closes;
    size_t boxes;
  };
  const Case cases[] = {
      {TppCustomTemplateDialog::tmOpen, "Row 2", mrOk, true, 0},
      {TppCustomTemplateDialog::tmOpen, "Gamma", mrOk, false, 1},
      {TppCustomTemplateDialog::tmOpen, "", mrOk, false, 0},
      {TppCustomTemplateDialog::tmSave, "Gamma", mrOk, true, 0},
      {TppCustomTemplateDialog::tmSave, "Row 3", mrNo, false, 1},
      {TppCustomTemplateDialog::tmSave, "Row 3", mrYes, true, 1},
      {TppCustomTemplateDialog::tmSave, "  ", mrYes, false, 0},
  };
  for (const Case& c : cases) {
    TMessageBoxes boxes(c.answer);
    auto dialog = Open(c.mode, c.name);
    dialog->OKClick();
    EXPECT_EQ(dialog->ModalResult() == ppmrOK, c.closes) << c.name;
    ASSERT_EQ(boxes.Texts.size(), c.boxes) << c.name;
    if (c.boxes && c.mode == TppCustomTemplateDialog::tmOpen) {
      EXPECT_EQ(boxes.Texts[0], ppLoadMessage(45) + " " + c.name);
    }
  }
}

TEST_F(ppTemplateDialogTest, ErrorDialogAnswersTheLoader) {
  ppRegisterEngineForms();
  struct Case {
    const char* button;
    TppDialogResult result;
  };
  for (const Case& c : {Case{"btnIgnore", drIgnore}, {"btnIgnoreAll", drIgnoreAll}, {"btnCancel", drCancel}}) {
    std::string shown;
    TFormAnswers answers([&](TppForm& form) {
      auto& dialog = dynamic_cast<TppTemplateErrorDialog&>(form);
      shown = dialog.GetErrorMessage();
      dialog.findChild<QPushButton*>(c.button)->click();
      return dialog.ModalResult();
    });
    TppDialogRequest request;
    request.Kind = dkTemplateError;
    request.Message = "Property Foo does not exist";
    EXPECT_EQ(ppRunDialog(request), c.result) << c.button;
    EXPECT_EQ(shown, request.Message);
  }
  ppUnRegisterEngineForms();
}

}  // namespace
