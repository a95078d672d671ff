#pragma once
// Rich text as paragraphs of formatted runs, read from the Rich Text
// Format that rich-text fields and report components store: fonts and
// colours from their tables, bold, italic, underline, strike-out, sizes,
// paragraph alignment, line breaks, tabs, ANSI (code page 1252) and
// Unicode characters. Everything else (pictures, fields' instructions,
// style sheets, document information) is skipped. Bytes that are not RTF
// are read as plain text, one paragraph per line.
//
// Character positions count UTF-8 characters, each paragraph end as one
// character, as a rich-edit control counts them.

#include <string>
#include <vector>

#include "uiGraphics.h"

enum TRichAlignment { raLeft, raRight, raCenter, raJustify };

struct TRichRun {
  std::string Text;  // UTF-8; "\t" a tab, "\n" a line break inside the paragraph
  TFont Font;
};

struct TRichParagraph {
  TRichAlignment Alignment = raLeft;
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
