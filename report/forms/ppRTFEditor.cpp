#include "ppRTFEditor.h"

#include <QHBoxLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>
#include <cmath>

#include "ppDataPipeline.h"
#include "ppMessages.h"
#include "ppReport.h"
#include "rtlStreams.h"
#include "uiCanvasQt.h"

namespace {

QString Message(int n) { return QString::fromStdString(ppLoadMessage(n)); }

// What the control cannot show exactly travels with the text in format
// properties, so a text edited and saved keeps every value the editor has
// no control for (indents and spacing in twips, tab stops, colours named
// by the system).
enum TKeptProperty : int {
  kpLeftIndent = QTextFormat::UserProperty + 1,
  kpRightIndent,
  kpFirstIndent,
  kpSpaceBefore,
  kpSpaceAfter,
  kpLineSpacing,
  kpTabStops,
  kpColor,
};

// Twips on the screen: 15 to the pixel at 96 pixels per inch.
constexpr double twipsPerPixel = 15.0;

Qt::Alignment ToQtAlignment(TRichAlignment alignment) {
  switch (alignment) {
    case raRight: return Qt::AlignRight;
    case raCenter: return Qt::AlignHCenter;
    case raJustify: return Qt::AlignJustify;
    case raLeft: break;
  }
  return Qt::AlignLeft;
}

TRichAlignment FromQtAlignment(Qt::Alignment alignment) {
  if (alignment & Qt::AlignRight) return raRight;
  if (alignment & Qt::AlignHCenter) return raCenter;
  if (alignment & Qt::AlignJustify) return raJustify;
  return raLeft;
}

QTextBlockFormat ToBlockFormat(const TRichParagraphFormat& format) {
  QTextBlockFormat block;
  block.setAlignment(ToQtAlignment(format.Alignment));
  block.setLeftMargin(format.LeftIndent / twipsPerPixel);
  block.setRightMargin(format.RightIndent / twipsPerPixel);
  block.setTextIndent(format.FirstIndent / twipsPerPixel);
  block.setTopMargin(format.SpaceBefore / twipsPerPixel);
  block.setBottomMargin(format.SpaceAfter / twipsPerPixel);
  block.setProperty(kpLeftIndent, format.LeftIndent);
  block.setProperty(kpRightIndent, format.RightIndent);
  block.setProperty(kpFirstIndent, format.FirstIndent);
  block.setProperty(kpSpaceBefore, format.SpaceBefore);
  block.setProperty(kpSpaceAfter, format.SpaceAfter);
  block.setProperty(kpLineSpacing, format.LineSpacing);
  QVariantList tabs;
  for (int tab : format.TabStops) tabs.push_back(tab);
  block.setProperty(kpTabStops, tabs);
  return block;
}

TRichParagraphFormat FromBlockFormat(const QTextBlockFormat& block) {
  TRichParagraphFormat format;
  format.Alignment = FromQtAlignment(block.alignment());
  format.LeftIndent = block.intProperty(kpLeftIndent);
  format.RightIndent = block.intProperty(kpRightIndent);
  format.FirstIndent = block.intProperty(kpFirstIndent);
  format.SpaceBefore = block.intProperty(kpSpaceBefore);
  format.SpaceAfter = block.intProperty(kpSpaceAfter);
  format.LineSpacing = block.intProperty(kpLineSpacing);
  for (const QVariant& tab : block.property(kpTabStops).toList()) format.TabStops.push_back(tab.toInt());
  return format;
}

QTextCharFormat ToCharFormat(const TFont& font) {
  QTextCharFormat format;
  format.setFontFamilies({QString::fromStdString(font.Name())});
  format.setFontPointSize(font.Size());
  format.setFontWeight(font.HasStyle(fsBold) ? QFont::Bold : QFont::Normal);
  format.setFontItalic(font.HasStyle(fsItalic));
  format.setFontUnderline(font.HasStyle(fsUnderline));
  format.setFontStrikeOut(font.HasStyle(fsStrikeOut));
  format.setForeground(ToQColor(font.Color()));
  format.setProperty(kpColor, static_cast<int>(font.Color()));
  return format;
}

TFont FromCharFormat(const QTextCharFormat& format) {
  TFont font;
  const QStringList families = format.fontFamilies().toStringList();
  if (!families.isEmpty()) font.SetName(families.front().toStdString());
  if (format.fontPointSize() > 0) font.SetSize(static_cast<int>(std::lround(format.fontPointSize())));
  TFontStyles style = 0;
  if (format.fontWeight() >= QFont::Bold) style |= fsBold;
  if (format.fontItalic()) style |= fsItalic;
  if (format.fontUnderline()) style |= fsUnderline;
  if (format.fontStrikeOut()) style |= fsStrikeOut;
  font.SetStyle(style);
  font.SetColor(format.hasProperty(kpColor) ? static_cast<TColor>(format.intProperty(kpColor)) : clBlack);
  return font;
}

QToolButton* MakeToggle(QWidget* parent, const char* name, const QString& text) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setText(text);
  button->setCheckable(true);
  return button;
}

}  // namespace

TppRTFEditor::TppRTFEditor(QWidget* owner) : TppCustomRTFEditor(owner) {
  setObjectName("ppRTFEditor");
  resize(560, 380);
  auto* bar = new QHBoxLayout;
  cbxFontName = new QComboBox(this);
  cbxFontName->setObjectName("cbxFontName");
  cbxFontName->setEditable(true);
  cbxFontName->addItems({"Arial", "Courier New", "Times New Roman"});
  spnFontSize = new QSpinBox(this);
  spnFontSize->setObjectName("spnFontSize");
  spnFontSize->setRange(1, 1638);
  btnBold = MakeToggle(this, "btnBold", "B");
  btnItalic = MakeToggle(this, "btnItalic", "I");
  btnUnderline = MakeToggle(this, "btnUnderline", "U");
  btnAlignLeft = MakeToggle(this, "btnAlignLeft", "Left");
  btnAlignCenter = MakeToggle(this, "btnAlignCenter", "Center");
  btnAlignRight = MakeToggle(this, "btnAlignRight", "Right");
  btnJustify = MakeToggle(this, "btnJustify", "Justify");
  for (QWidget* w : std::initializer_list<QWidget*>{cbxFontName, spnFontSize, btnBold, btnItalic, btnUnderline,
                                                    btnAlignLeft, btnAlignCenter, btnAlignRight, btnJustify})
    bar->addWidget(w);
  bar->addStretch();

  auto* fields = new QHBoxLayout;
  cbxFields = new QComboBox(this);
  cbxFields->setObjectName("cbxFields");
  btnInsertField = new QPushButton("Insert Field", this);
  btnInsertField->setObjectName("btnInsertField");
  fields->addWidget(cbxFields, 1);
  fields->addWidget(btnInsertField);

  memRichText = new QTextEdit(this);
  memRichText->setObjectName("memRichText");
  memRichText->setAcceptRichText(false);  // pasted text comes as characters

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  btnOK = new QPushButton(this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  btnCancel = new QPushButton(this);
  btnCancel->setObjectName("btnCancel");
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addLayout(fields);
  layout->addWidget(memRichText, 1);
  layout->addLayout(buttons);

  const auto charChange = [this](const std::function<void(QTextCharFormat&)>& change) {
    if (showing) return;
    QTextCharFormat format;
    change(format);
    memRichText->mergeCurrentCharFormat(format);
  };
  connect(cbxFontName, &QComboBox::currentTextChanged, this,
          [charChange](const QString& name) { charChange([&](QTextCharFormat& f) { f.setFontFamilies({name}); }); });
  connect(spnFontSize, &QSpinBox::valueChanged, this,
          [charChange](int size) { charChange([&](QTextCharFormat& f) { f.setFontPointSize(size); }); });
  connect(btnBold, &QToolButton::toggled, this, [charChange](bool on) {
    charChange([&](QTextCharFormat& f) { f.setFontWeight(on ? QFont::Bold : QFont::Normal); });
  });
  connect(btnItalic, &QToolButton::toggled, this,
          [charChange](bool on) { charChange([&](QTextCharFormat& f) { f.setFontItalic(on); }); });
  connect(btnUnderline, &QToolButton::toggled, this,
          [charChange](bool on) { charChange([&](QTextCharFormat& f) { f.setFontUnderline(on); }); });
  const std::pair<QToolButton*, Qt::Alignment> aligns[] = {{btnAlignLeft, Qt::AlignLeft},
                                                           {btnAlignCenter, Qt::AlignHCenter},
                                                           {btnAlignRight, Qt::AlignRight},
                                                           {btnJustify, Qt::AlignJustify}};
  for (const auto& [button, alignment] : aligns)
    connect(button, &QToolButton::clicked, this, [this, alignment = alignment] {
      if (showing) return;
      memRichText->setAlignment(alignment);
      ShowSelectionFormat();
    });
  connect(memRichText, &QTextEdit::cursorPositionChanged, this, [this] { ShowSelectionFormat(); });
  connect(btnInsertField, &QPushButton::clicked, this, [this] { InsertFieldClick(); });
  connect(btnOK, &QPushButton::clicked, this, [this] { OKClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { SetModalResult(ppmrCancel); });
  LanguageChanged();
  FillFields();
}

void TppRTFEditor::LanguageChanged() {
  setWindowTitle(Message(120).remove("..."));
  btnOK->setText(Message(17));
  btnCancel->setText(Message(5));
}

void TppRTFEditor::ReportAssigned() { FillFields(); }

void TppRTFEditor::Activated() {
  FillFields();
  TppCustomRTFEditor::Activated();
}

// The fields of the report's pipeline, offered only to a text that is
// merged: names and aliases both merge, the names are listed.
void TppRTFEditor::FillFields() {
  cbxFields->clear();
  auto* report = dynamic_cast<TppCustomReport*>(Report());
  TppDataPipeline* pipeline = report ? report->DataPipeline() : nullptr;
  for (int i = 0; MailMerge && pipeline && i < pipeline->FieldCount(); ++i)
    cbxFields->addItem(QString::fromStdString(pipeline->Field(i).FieldName));
  const bool offered = cbxFields->count() > 0;
  cbxFields->setVisible(offered);
  btnInsertField->setVisible(offered);
}

void TppRTFEditor::InsertFieldClick() {
  if (cbxFields->currentIndex() < 0) return;
  memRichText->textCursor().insertText("<" + cbxFields->currentText() + ">");
}

void TppRTFEditor::LoadFromEditorStream() {
  std::string bytes;
  if (EditorStream) {
    const int64_t count = std::max<int64_t>(0, EditorStream->Size() - EditorStream->Position());
    bytes.resize(static_cast<size_t>(count));
    if (count > 0) EditorStream->ReadBuffer(bytes.data(), count);
  }
  SetDocument(ParseRichText(bytes, TFont{}));
  FillFields();
}

void TppRTFEditor::SetDocument(const TRichDocument& document) {
  showing = true;
  memRichText->clear();
  QTextCursor cursor(memRichText->document());
  bool first = true;
  for (const TRichParagraph& paragraph : document.Paragraphs) {
    if (first)
      cursor.setBlockFormat(ToBlockFormat(paragraph.Format));
    else
      cursor.insertBlock(ToBlockFormat(paragraph.Format));
    first = false;
    for (const TRichRun& run : paragraph.Runs) {
      QString text = QString::fromStdString(run.Text);
      text.replace(QChar('\n'), QChar(QChar::LineSeparator));
      cursor.insertText(text, ToCharFormat(run.Font));
    }
  }
  memRichText->moveCursor(QTextCursor::Start);
  showing = false;
  ShowSelectionFormat();
}

TRichDocument TppRTFEditor::Document() const {
  TRichDocument document;
  for (QTextBlock block = memRichText->document()->begin(); block.isValid(); block = block.next()) {
    TRichParagraph paragraph;
    paragraph.Format = FromBlockFormat(block.blockFormat());
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.isValid()) continue;
      QString text = fragment.text();
      text.replace(QChar(QChar::LineSeparator), QChar('\n'));
      TRichRun run{text.toStdString(), FromCharFormat(fragment.charFormat())};
      if (!paragraph.Runs.empty() && paragraph.Runs.back().Font == run.Font)
        paragraph.Runs.back().Text += run.Text;
      else
        paragraph.Runs.push_back(std::move(run));
    }
    document.Paragraphs.push_back(std::move(paragraph));
  }
  return document;
}

void TppRTFEditor::OKClick() {
  if (EditorStream) {
    const std::string rtf = WriteRichText(Document());
    EditorStream->SetSize(0);
    EditorStream->SetPosition(0);
    EditorStream->WriteBuffer(rtf.data(), static_cast<int64_t>(rtf.size()));
  }
  SetModalResult(ppmrOK);
}

void TppRTFEditor::ShowSelectionFormat() {
  if (showing) return;
  showing = true;
  const TFont font = FromCharFormat(memRichText->currentCharFormat());
  cbxFontName->setCurrentText(QString::fromStdString(font.Name()));
  spnFontSize->setValue(font.Size());
  btnBold->setChecked(font.HasStyle(fsBold));
  btnItalic->setChecked(font.HasStyle(fsItalic));
  btnUnderline->setChecked(font.HasStyle(fsUnderline));
  const TRichAlignment alignment = FromQtAlignment(memRichText->alignment());
  btnAlignLeft->setChecked(alignment == raLeft);
  btnAlignCenter->setChecked(alignment == raCenter);
  btnAlignRight->setChecked(alignment == raRight);
  btnJustify->setChecked(alignment == raJustify);
  showing = false;
}
