#pragma once
// Rich text as paragraphs of formatted runs, read from the Rich Text
// Format that rich-text fields and report components store: fonts and
// colours from their tables, bold, italic, underline, strike-out, sizes,
// paragraph alignment, indents, spacing and tab stops, line breaks, tabs,
// characters in the declared code page and Unicode characters. Everything
// else (pictures, fields' instructions, style sheets, document
// information, binary data) is skipped. Bytes that are not RTF are read as
// plain text, one paragraph per line. The writer writes what the reader
// reads, so a document read back from it is equal to the one written.
//
// Character positions count characters (code points), each paragraph end
// as one character, as a rich-edit control counts them.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "uiGraphics.h"

enum TRichAlignment { raLeft, raRight, raCenter, raJustify };

struct TRichRun {
  std::string Text;  // UTF-8; "\t" a tab, "\n" a line break inside the paragraph
  TFont Font;
};

// Lengths in twips (1440 per inch), as the format stores them.
struct TRichParagraphFormat {
  TRichAlignment Alignment = raLeft;
  int LeftIndent = 0;
  int RightIndent = 0;
  int FirstIndent = 0;  // of the first line, from LeftIndent; may be negative
  int SpaceBefore = 0;
  int SpaceAfter = 0;
  // 0: single; above 0: at least this high; below 0: exactly -LineSpacing.
  int LineSpacing = 0;
  std::vector<int> TabStops;  // ascending
  friend bool operator==(const TRichParagraphFormat&, const TRichParagraphFormat&) = default;
};

struct TRichParagraph {
  TRichParagraphFormat Format;
  std::vector<TRichRun> Runs;
};

struct TRichDocument {
  std::vector<TRichParagraph> Paragraphs;
  // Characters, paragraph ends included.
  int CharCount() const;
};

// Never throws for damaged input: what cannot be read is skipped. The
// font a run starts from is defaultFont.
TRichDocument ParseRichText(const std::string& bytes, const TFont& defaultFont);
// The document as RTF: font and colour tables, paragraph and character
// formatting, characters past ASCII as \uN.
std::string WriteRichText(const TRichDocument& document);

struct TRichFindOptions {
  bool MatchCase = false;
  bool WholeWord = false;
};

// A rich text as an editor holds it: the characters one by one with their
// fonts, and a format per paragraph, edited through a selection. In the
// plain text a paragraph ends with "\r" and a line break is "\v"; the last
// paragraph's end is always there and cannot be removed, so the count of
// characters is the plain text's length + 1.
class TRichTextBuffer {
public:
  TRichTextBuffer();

  void Clear();
  void LoadDocument(const TRichDocument& document);
  // RTF, or plain text, read as ParseRichText reads it.
  void LoadRichText(const std::string& bytes, const TFont& defaultFont);
  std::string RichText() const { return WriteRichText(Document()); }
  // Rebuilt after each change.
  const TRichDocument& Document() const;

  // Changes with every change of the text, unique in the process: equal
  // stamps mean equal text, so what is made from a text can be kept.
  uint64_t Stamp() const { return stamp; }

  int CharCount() const { return static_cast<int>(chars.size()); }
  std::string PlainText() const { return TextRange(0, CharCount() - 1); }
  // UTF-8 of length characters from start (clamped to the text).
  std::string TextRange(int start, int length) const;

  int SelStart() const { return selStart; }
  void SetSelStart(int value);
  int SelLength() const { return selLength; }
  void SetSelLength(int value);
  void SelectAll();
  std::string SelText() const { return TextRange(selStart, selLength); }
  // Replaces the selection with text ("\r\n", "\r" and "\n" end
  // paragraphs) in the font of its first character; the selection becomes
  // empty after the new text.
  void SetSelText(const std::string& text);
  // The font of the selection's first character.
  TFont SelAttributes() const;
  void SetSelAttributes(const TFont& font);
  // Changes each font of the selection as change says (one attribute, say,
  // leaving the others each character has).
  void ChangeSelAttributes(const std::function<void(TFont&)>& change);
  // The format of the paragraph holding the selection's start; setting it
  // formats every paragraph the selection touches.
  TRichParagraphFormat Paragraph() const;
  void SetParagraph(const TRichParagraphFormat& format);
  void ChangeParagraphs(const std::function<void(TRichParagraphFormat&)>& change);

  // The first position at or after start, within length characters
  // (-1: to the end), where text occurs; -1 when it does not.
  int FindText(const std::string& text, int start, int length, TRichFindOptions options) const;

private:
  std::u32string chars;
  std::vector<int> fontOf;  // per character, into fonts
  std::vector<TFont> fonts;
  std::vector<TRichParagraphFormat> paragraphs;  // one per "\r" in chars
  int selStart = 0;
  int selLength = 0;
  mutable TRichDocument document;
  mutable bool documentValid = false;
  uint64_t stamp = 0;

  int FontIndex(const TFont& font);
  int ParagraphOf(int position) const;
  void Replace(int start, int length, const std::u32string& text, int font);
  void Changed();
};
