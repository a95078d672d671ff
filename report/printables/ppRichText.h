#pragma once
// Formatted text (RTF) in a band: a text of its own (TppRichText) or a
// pipeline field's (TppDBRichText). It stretches and goes on on the next
// page; each page remembers the characters it printed, StartCharPos to
// EndCharPos, and hands them to its draw command with the text. With
// MailMerge, "<name>" in the text stands for the value of the report
// pipeline's field of that name or alias; the values are put into the
// document as characters, so whatever they hold cannot change the
// document's structure.

#include <functional>
#include <memory>
#include <vector>
#include <string>

#include "ppCtrls.h"
#include "ppDesignMenu.h"
#include "ppStretchable.h"
#include "dbTypes.h"
#include "rtlStreamObject.h"
#include "rtlStreams.h"
#include "uiGraphicsBitmap.h"
#include "uiRichText.h"

class TppCustomRichText;

// The character format of a rich text's selection as an object (scripts
// hold it): read, the font of the selection's first character; set, that
// one attribute given to every character selected, the others kept.
class TTextAttributes : public TPersistent {
  RTL_DECLARE_CLASS(TTextAttributes, TPersistent)

  explicit TTextAttributes(TppCustomRichText* owner = nullptr) : owner(owner) {}
  // A TppFont or another selection's attributes: the whole font.
  void Assign(const TPersistent* source) override;

  std::string Name() const { return Font().Name(); }
  void SetName(const std::string& value);
  int Size() const { return Font().Size(); }
  void SetSize(int value);
  int Color() const { return Font().Color(); }
  void SetColor(int value);
  // fsBold 1, fsItalic 2, fsUnderline 4, fsStrikeOut 8.
  int Style() const { return Font().Style(); }
  void SetStyle(int value);

private:
  TppCustomRichText* owner;
  TFont Font() const;
  void Change(const std::function<void(TFont&)>& change);
};

// The format of the paragraphs a rich text's selection touches: read, the
// first one's; set, every one's. Indents are in points (twentieths of the
// twips the text keeps); a justified paragraph reads as left-aligned.
class TParaAttributes : public TPersistent {
  RTL_DECLARE_CLASS(TParaAttributes, TPersistent)

  explicit TParaAttributes(TppCustomRichText* owner = nullptr) : owner(owner) {}
  void Assign(const TPersistent* source) override;

  TAlignment Alignment() const;
  void SetAlignment(TAlignment value);
  int FirstIndent() const { return Format().FirstIndent / 20; }
  void SetFirstIndent(int value);
  int LeftIndent() const { return Format().LeftIndent / 20; }
  void SetLeftIndent(int value);
  int RightIndent() const { return Format().RightIndent / 20; }
  void SetRightIndent(int value);
  int TabCount() const { return static_cast<int>(Format().TabStops.size()); }

private:
  TppCustomRichText* owner;
  TRichParagraphFormat Format() const;
  void Change(const std::function<void(TRichParagraphFormat&)>& change);
};

class TppCustomRichText : public TppStretchable, public TppDesignMenuSource {
  RTL_DECLARE_CLASS(TppCustomRichText, TppStretchable)

  explicit TppCustomRichText(TComponent* owner);

  // The whole text as RTF; empty when it holds no text.
  std::string RichText() const;
  void SetRichText(const std::string& value);
  // The text as RTF, in a stream the component owns.
  TMemoryStreamObject& RichTextStream();
  std::string PlainText() const { return Text().PlainText(); }

  int SelStart() const { return text.SelStart(); }
  void SetSelStart(int value) { text.SetSelStart(value); }
  int SelLength() const { return text.SelLength(); }
  void SetSelLength(int value) { text.SetSelLength(value); }
  std::string SelText() const { return text.SelText(); }
  void SetSelText(const std::string& value);
  TFont SelAttributes() const { return text.SelAttributes(); }
  void SetSelAttributes(const TFont& value);
  void ChangeSelAttributes(const std::function<void(TFont&)>& change);
  TRichParagraphFormat Paragraph() const { return text.Paragraph(); }
  void SetParagraph(const TRichParagraphFormat& value);
  void ChangeParagraph(const std::function<void(TRichParagraphFormat&)>& change);
  // The two as objects that follow the selection (scripts use these).
  TTextAttributes& SelAttributesObject() { return selAttributes; }
  TParaAttributes& ParagraphObject() { return paragraph; }
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

  std::vector<TppDesignMenuItem> DesignMenuItems() const override;
  bool DesignCommand(const std::string&) override { return false; }
  // The text from its start over area, drawn into a picture kept until the
  // size, the text or its background changes; with Transparent only the
  // text's ink covers what is below.
  void PaintDesignView(TCanvas& canvas, const TRect& area) override;

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
  TMemoryStreamObject stream;
  TTextAttributes selAttributes{this};
  TParaAttributes paragraph{this};
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
  // The design view's picture and what it was drawn from.
  std::unique_ptr<TBitmap> designPicture;
  uint64_t designStamp = 0;
  int designColor = 0;
  bool designTransparent = false;

  void Merge();
};

class TppRichText : public TppCustomRichText {
  RTL_DECLARE_CLASS(TppRichText, TppCustomRichText)
  explicit TppRichText(TComponent* owner);

  std::vector<TppDesignMenuItem> DesignMenuItems() const override;
  // "Edit" opens the rich-text editor.
  bool DesignCommand(const std::string& name) override;
  // The editor registered for the program edits the text (it gets the
  // report, its language, MailMerge and the text); answers whether the
  // text came back changed by OK. Without an editor nothing happens.
  bool Edit();

private:
  // The text on its way to the editor and back.
  TMemoryStream editorStream;
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
