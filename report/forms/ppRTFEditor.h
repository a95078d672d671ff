#pragma once
// The rich-text editor a rich-text component's "Edit" opens: the text with
// its fonts and paragraphs in an editing control, a bar to set the font,
// size, style and alignment of the selection and, for a text that is
// merged, a list of the report's fields to insert as "<name>". OK writes
// the text back to the component's editor stream.

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>
#include <QToolButton>

#include "ppForms.h"
#include "uiRichText.h"

class TppRTFEditor : public TppCustomRTFEditor {
public:
  static constexpr const char* FormName = "TppRTFEditor";
  explicit TppRTFEditor(QWidget* owner = nullptr);

  void LoadFromEditorStream() override;
  // The text as the control holds it.
  TRichDocument Document() const;
  void SetDocument(const TRichDocument& document);
  // Writes the text to the editor stream and closes with OK.
  void OKClick();
  // Puts "<name>" of the chosen field at the cursor.
  void InsertFieldClick();

  QComboBox* cbxFontName;
  QSpinBox* spnFontSize;
  QToolButton *btnBold, *btnItalic, *btnUnderline;
  QToolButton *btnAlignLeft, *btnAlignCenter, *btnAlignRight, *btnJustify;
  QComboBox* cbxFields;
  QPushButton* btnInsertField;
  QTextEdit* memRichText;
  QPushButton *btnOK, *btnCancel;

protected:
  void LanguageChanged() override;
  void ReportAssigned() override;
  void Activated() override;

private:
  // Shows the selection's format on the bar without changing the text.
  void ShowSelectionFormat();
  void FillFields();
  bool showing = false;
};
