#include "ppTextFileDevice.h"

#include <algorithm>
#include <vector>

#include "ppDrwCmd.h"
#include "ppMessages.h"
#include "ppPage.h"
#include "ppUnits.h"
#include "ppUtils.h"
#include "uiMeasuringCanvas.h"

RTL_DEFINE_CLASS(TppTextFileDevice)
RTL_DEFINE_CLASS(TppReportTextFileDevice)

namespace {

constexpr const char* textFileFilter = "Text files|*.TXT|All files|*.*";
constexpr const char* lineEnd = "\r\n";
// The fixed-pitch face whose cell makes the report text grid.
constexpr const char* gridFontName = "Courier New";

// The text commands of a page, in drawing order.
std::vector<TppDrawText*> TextCommands(const TppPage& page) {
  std::vector<TppDrawText*> commands;
  for (int i = 0; i < page.GetDrawCommandCount(); ++i)
    if (auto* text = dynamic_cast<TppDrawText*>(page.GetDrawCommand(i))) commands.push_back(text);
  return commands;
}

// A line of the grid, one entry per character (UTF-8 sequences whole).
using TGridLine = std::vector<std::string>;

TGridLine Characters(const std::string& text) {
  TGridLine chars;
  for (size_t i = 0; i < text.size(); ++i) {
    if (chars.empty() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) chars.emplace_back();
    chars.back() += text[i];
  }
  return chars;
}

// Appends a comma or tab field as a reader of such files parses it back: a
// field holding the separator, a quote or a line break is quoted, its
// quotes doubled.
void AppendField(std::string& out, const std::string& text, char separator) {
  const bool plain = std::none_of(text.begin(), text.end(),
                                  [separator](char c) { return c == separator || c == '"' || c == '\r' || c == '\n'; });
  if (plain) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

}  // namespace

// ---- TppTextFileDevice ----

TppTextFileDevice::TppTextFileDevice(TComponent* owner) : TppFileDevice(owner) {}

std::string TppTextFileDevice::FileFilter() const { return textFileFilter; }
std::string TppTextFileDevice::DeviceDescription() const { return ppLoadMessage(37); }

void TppTextFileDevice::SetFileType(TppFileType value) {
  if (!JobRunning()) fileType = value;
}

void TppTextFileDevice::ResetExportState() {
  endOfRecord = lastLine = firstPage = lastBandOnLastPage = firstField = firstRecord = false;
  fieldNo = recordCount = 0;
}

void TppTextFileDevice::StartJob() {
  if (JobRunning()) return;
  ResetExportState();
  inherited::StartJob();
}

void TppTextFileDevice::EndJob() {
  ResetExportState();
  inherited::EndJob();
}

void TppTextFileDevice::ReceivePage(TppPage* page) {
  inherited::ReceivePage(page);
  if (!PageRequested()) return;
  ShowStatus(page);
  if (!SkipPage()) WritePage(*page);
}

void TppTextFileDevice::WritePage(TppPage& page) {
  // Band save number, then the component's save order, by the commands'
  // save keys (each made once).
  std::vector<std::pair<std::string, TppDrawText*>> keyed;
  for (TppDrawText* text : TextCommands(page))
    if (text->BandSave && text->ComponentSave) keyed.emplace_back(text->SaveKey(), text);
  if (keyed.empty()) return;
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<TppDrawText*> commands;
  commands.reserve(keyed.size());
  for (const auto& [key, text] : keyed) commands.push_back(text);
  const char separator = fileType == ftComma ? ',' : fileType == ftTab ? '\t' : '\0';
  firstRecord = true;
  lastLine = false;
  firstPage = page.AbsolutePageNo == 1;
  // The page goes to the file in one write.
  std::string out;
  std::string field;
  for (size_t i = 0; i < commands.size();) {
    fieldNo = 0;
    firstField = true;
    endOfRecord = false;
    const size_t lineStart = out.size();
    const int band = commands[i]->BandSaveNo;
    for (; i < commands.size() && commands[i]->BandSaveNo == band; ++i) {
      TppDrawText& command = *commands[i];
      const bool lastCommand = i + 1 == commands.size();
      if (lastCommand) lastLine = true;
      endOfRecord = lastCommand || commands[i + 1]->BandSaveNo != band;
      lastBandOnLastPage = lastCommand && page.LastPage;
      if (!firstField && separator) out += separator;
      if (fileType == ftFixedLength) field = ppFitText(command.Text, command.SaveLength, command.Alignment());
      else if (separator) field.clear(), AppendField(field, command.Text, separator);
      else field = command.Text;
      if (OnSaveText) OnSaveText(this, command.Component, field);
      firstRecord = false;
      firstField = false;
      out += field;
      ++fieldNo;
    }
    if (out.size() > lineStart && fileType != ftCustom && !(page.LastPage && lastLine)) out += lineEnd;
    ++recordCount;
    firstPage = false;
  }
  Write(out);
}

// ---- TppReportTextFileDevice ----

TppReportTextFileDevice::TppReportTextFileDevice(TComponent* owner) : TppFileDevice(owner) {}

std::string TppReportTextFileDevice::FileFilter() const { return textFileFilter; }
std::string TppReportTextFileDevice::DeviceDescription() const { return ppLoadMessage(12); }

void TppReportTextFileDevice::ReceivePage(TppPage* page) {
  inherited::ReceivePage(page);
  if (!PageRequested()) return;
  ShowStatus(page);
  if (!SkipPage()) WritePage(*page);
}

void TppReportTextFileDevice::WritePage(TppPage& page) {
  std::vector<TppDrawText*> commands = TextCommands(page);
  if (commands.empty()) return;
  // Top to bottom, then left to right.
  std::stable_sort(commands.begin(), commands.end(), [](const TppDrawText* a, const TppDrawText* b) {
    return std::pair(a->Top(), a->Left()) < std::pair(b->Top(), b->Left());
  });

  // The cell is the "0" of the grid font, measured at the screen's
  // resolution as layout measures.
  TMeasuringCanvas canvas(ppScreenPixelsPerInch);
  int fontSize = FontSize;
  if (ChooseFontSize) {
    canvas.Font() = commands.front()->Font()->Value();
    const int textWidth = canvas.TextWidth("0");
    canvas.Font() = TFont();
    canvas.Font().SetName(gridFontName);
    canvas.Font().SetSize(8);
    const int width8 = canvas.TextWidth("0");
    canvas.Font().SetSize(10);
    const int width10 = canvas.TextWidth("0");
    fontSize = width8 >= textWidth ? 8 : width10 >= textWidth ? 10 : 12;
  }
  canvas.Font() = TFont();
  canvas.Font().SetName(gridFontName);
  canvas.Font().SetSize(fontSize);
  const TppPageDef& def = *page.PageDef();
  int cellWidth = 0, cellHeight = 0, charsPerLine = CharactersPerLine, linesPerPage = LinesPerPage;
  // A grid or cell of no characters would divide by zero: at least one.
  if (CalculateGridFromPage) {
    cellWidth = std::max(1, ppUnitsToMMThousandths(canvas.TextWidth("0"), utScreenPixels, axHorizontal));
    cellHeight = std::max(1, ppUnitsToMMThousandths(canvas.TextHeight("0"), utScreenPixels, axVertical));
    charsPerLine = std::max(1, def.mmWidth() / cellWidth);
    linesPerPage = std::max(1, def.mmHeight() / cellHeight);
  } else {
    charsPerLine = std::max(1, charsPerLine);
    linesPerPage = std::max(1, linesPerPage);
    cellWidth = std::max(1, def.mmWidth() / charsPerLine);
    cellHeight = std::max(1, def.mmHeight() / linesPerPage);
  }

  TGridLine line(static_cast<size_t>(charsPerLine), " ");
  int lineNo = 1;
  // The page goes to the file in one write.
  std::string out;
  auto writeLine = [&] {
    size_t used = line.size();
    while (used > 0 && line[used - 1] == " ") --used;
    for (size_t k = 0; k < used; ++k) out += line[k];
    if (!(page.LastPage && lineNo == linesPerPage)) out += lineEnd;
    ++lineNo;
    line.assign(static_cast<size_t>(charsPerLine), " ");
  };
  for (size_t i = 0; i < commands.size() && lineNo <= linesPerPage;) {
    const TppDrawText& command = *commands[i];
    const int row = command.Top() / cellHeight + 1;
    // A text above the line being filled (a negative position) has no
    // place left on the page.
    if (row < lineNo) {
      ++i;
      continue;
    }
    if (row != lineNo) {
      writeLine();
      continue;
    }
    const size_t column = static_cast<size_t>(std::max(0, command.Left() / cellWidth));
    int fieldWidth = command.Width() / cellWidth + 1;
    if (command.AutoSize) fieldWidth = std::max(fieldWidth, static_cast<int>(Characters(command.Text).size()));
    const TGridLine text = Characters(ppFitText(command.Text, fieldWidth, command.Alignment()));
    const size_t at = std::min(column, line.size());
    line.erase(line.begin() + static_cast<std::ptrdiff_t>(at),
               line.begin() + static_cast<std::ptrdiff_t>(std::min(line.size(), at + text.size())));
    line.insert(line.begin() + static_cast<std::ptrdiff_t>(at), text.begin(), text.end());
    ++i;
  }
  while (lineNo <= linesPerPage) writeLine();
  Write(out);
}
