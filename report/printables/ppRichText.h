#pragma once
// Formatted text (RTF) in a band: a text of its own (TppRichText) or a
// pipeline field's (TppDBRichText). It stretches and goes on on the next
// page; each page remembers the characters it printed, StartCharPos to
// EndCharPos, and hands them to its draw command with the text. With
// MailMerge, "<name>" in the text stands for the value of the report
// pipeline's field of that name or alias; the values are put into the
// document as characters, so whatever they hold cannot change the
// document's structure.

#include <memory>
#include <string>

#include "ppCtrls.h"
#include "ppStretchable.h"
#include "rtlStreams.h"
#include "uiRichText.h"

class TppCustomRichText : public TppStretchable {
  RTL_DECLARE_CLASS(TppCustomRichText, TppStretchable)

  explicit TppCustomRichText(TComponent* owner);

  // The whole text as RTF; empty when it holds no text.
  std::string RichText() const;
  void SetRichText(const std::string& value);
  // The text as RTF, in a stream the component owns.
  TMemoryStream& RichTextStream();
  std::string PlainText() const { return Text().PlainText(); }

  int SelStart() const { return text.SelStart(); }
  void SetSelStart(int value) { text.SetSelStart(value); }
  int SelLength() const { return text.SelLength(); }
  void SetSelLength(int value) { text.SetSelLength(value); }
  std::string SelText() const { return text.SelText(); }
  void SetSelText(const std::string& value);
  TFont SelAttributes() const { return text.SelAttributes(); }
  void SetSelAttributes(const TFont& value);
  TRichParagraphFormat Paragraph() const { return text.Paragraph(); }
  void SetParagraph(const TRichParagraphFormat& value);
  void SelectAll() { text.SelectAll(); }
  // The position of the text from start within length characters (-1: to
  // the end), or -1.
  int FindText(const std::string& search, int start, int length, TRichFindOptions options) const {
    return Text().FindText(search, start, length, options);
  }
  // EFOpenError or EFCreateError when the file cannot be opened.
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName);
  // From the stream's position to its end; to the stream's position.
  void LoadFromRTFStream(TStream& stream);
  void SaveToRTFStream(TStream& stream);

  bool MailMerge() const { return mailMerge; }
  void SetMailMerge(bool value);
  // The characters placed on the current page (-1 when none).
  int StartCharPos() const { return startCharPos; }
  int EndCharPos() const { return endCharPos; }
  // The text as it prints: merged with the pipeline's values when
  // MailMerge is on and the report prints.
  const TRichTextBuffer& PrintedText() const { return mailMerge && merged ? *merged : text; }

  void InitGeneration() override;
  static constexpr int StateSize = TppStretchable::StateSize + 12;
  void CaptureState(uint8_t* record) const override;
  void ApplyState(const uint8_t* record) override;

protected:
  // Brings the text up to date from its source.
  virtual void RefreshText() const {}
  const TRichTextBuffer& Text() const;
  void LoadText(const std::string& bytes) const;
  void StretchContent() override;
  void PropertiesToDrawCommand(TppDrawCommand* command) override;
  mutable TRichTextBuffer text;

private:
  bool mailMerge = false;
  std::unique_ptr<TRichTextBuffer> merged;
  TMemoryStream stream;
  int startCharPos = 0;
  int endCharPos = -1;
  // Where the next page goes on: the character after the last printed.
  int resumeCharPos = 0;
  // The merge and the RTF of the last page, kept while what they were made
  // from stays the same, so a long text is not merged and written again
  // for every page.
  uint64_t mergedFrom = 0;
  std::string mergedValues;
  uint64_t rtfStamp = 0;
  std::string rtf;

  void Merge();
};

class TppRichText : public TppCustomRichText {
  RTL_DECLARE_CLASS(TppRichText, TppCustomRichText)
  explicit TppRichText(TComponent* owner);
};

class TppDBRichText : public TppCustomRichText {
  RTL_DECLARE_CLASS(TppDBRichText, TppCustomRichText)

  explicit TppDBRichText(TComponent* owner);
  bool IsDataAware() const override { return true; }
  bool AutoDisplay() const { return autoDisplay; }
  // Off empties the text; on reads the field again.
  void SetAutoDisplay(bool value);
  TppGetTextEvent OnGetRichText;

protected:
  void RefreshText() const override;

private:
  bool autoDisplay = true;
  // The source the text was last read from, so an unchanged value is not
  // read again on every page.
  mutable std::string loaded;
  mutable bool anyLoaded = false;
};
