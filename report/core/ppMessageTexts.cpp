#include "ppMessages.h"

#include <algorithm>
#include <iterator>

namespace {

struct TMessageText {
  int Number;
  const char* Text;
};

// The program's own string table, in number order. Texts are the engine's
// own; numbers without a known text are left out and read as empty.
constexpr TMessageText builtInMessages[] = {
    {2, "Accessing data..."},
    {3, "All"},
    {4, "Calculating page <page> for report <documentname>"},
    {5, "Cancel"},
    {6, "Close"},
    {7, "Copies"},
    {8, "There are no printers connected to your computer."},
    {9, "Current Page"},
    {10, "Drawing page <page> of <pagecount> for report <documentname>"},
    {11, "Enter page numbers and/or page ranges separated by commas.  For example, 1,3,5-12."},
    {12, "Report Emulation Text File"},
    {16, "of"},
    {17, "OK"},
    {18, "Page"},
    {19, "Page Range"},
    {20, "Pages"},
    {22, "Print"},
    {24, "Printing"},
    {25, "Printer"},
    {26, "Print to File"},
    // Per-page progress while printing; the last placeholder takes the
    // printer's name or, for a file device, the file's.
    {27, "Printing page <page> for report <documentname> on <printername>"},
    {28, "Printing page <page> of <pagecount> for report <documentname> on <printername>"},
    {32, "No pages entered."},
    {33, "Please specify file name before continuing."},
    {34, "Archive File"},
    {37, "Text File"},
    {38, "As"},
    {39, "Name"},
    {40, "Could not open DataSet."},
    {43, "Unable to find position for column <columnno>."},
    {45, "Record not found:"},
    {46, "File not found:"},
    {49, "Invalid Template Format"},
    {50, "Ignore the error and continue?"},
    {51, "File is read-only."},
    {53, "Cannot store a template to a field of this type."},
    {54, "Show all data where the"},
    {55, "and the"},
    {60, "Value must be either True or False."},
    {61, "Search value must be entered."},
    {62, "and"},
    {63, "Add to list"},
    {64, "Remove from list"},
    {65, "Search"},
    {66, "indicates that this search value must be entered."},
    // Designer pop-up captions of the printable components (the program's
    // own wording).
    {120, "Edit..."},
    // The template dialogs' captions; the wording of these is the
    // program's own.
    {134, "&Open"},
    {138, "&Save"},
    // More designer pop-up captions.
    {226, "AutoSize"},
    {238, "Reprint On OverFlow"},
    {240, "Shift With Parent"},
    {243, "Stretch"},
    {246, "Transparent"},
    // Without a text here a cache that cannot be written would end
    // generation with an empty error.
    {284, "The page cache cannot be written: memory and temporary files are exhausted."},
    // Raised by the engine itself, so never empty: a component that would
    // shift relative to one that follows it, and a band's print position
    // (the error adds the final point).
    {342, "A component cannot shift relative to a component that is positioned relative to it."},
    {361, "Open"},
    {362, "Save"},
    {415, "The band's print position lies at or below the bottom of the space the page leaves for it"},
    {416, "&Ignore"},
    {417, "Ignore &All"},
    {418, "Error Reading Template"},
    // Bar-code settings and data that are refused, and the bar code's
    // designer captions; the wording of these is the program's own.
    {423, "A supplement can be added only to UPC-A, UPC-E, EAN-13 and EAN-8 bar codes."},
    {424, "A supplement has 2 or 5 digits."},
    {425, "Postnet and FIM bar codes are always sized automatically."},
    {426, "UPC and EAN bar codes always size their text automatically."},
    {427, "The bar width cannot be less than <minbarwidth>."},
    {428, "The bar width cannot be more than <maxbarwidth>."},
    {429, "Bearer bars are only for Interleaved 2 of 5 bar codes."},
    {430, "Code 39 bar codes hold only letters, digits, space and $ % + - . /"},
    {431, "EAN-13 bar codes hold 12 or 13 digits."},
    {432, "An EAN-13 bar code of 12 digits needs its check digit computed."},
    {433, "EAN-13 bar codes must be numeric."},
    {434, "Interleaved 2 of 5 bar codes must be numeric."},
    {435, "An Interleaved 2 of 5 bar code of odd length needs its check digit computed."},
    {436, "Postnet bar codes hold only digits and dashes."},
    {437, "Postnet bar codes hold 5, 9 or 11 digits."},
    {438, "UPC-A bar codes hold 11 or 12 digits."},
    {439, "A UPC-A bar code of 11 digits needs its check digit computed."},
    {440, "UPC-A bar codes must be numeric."},
    {441, "AutoSize Font"},
    {442, "Print Human Readable"},
    {443, "Configure..."},
    // Code 128 data that cannot be encoded; the wording of these is the
    // program's own.
    {451, "Code 128 data must begin with a start character."},
    {452, "A start character may stand only at the beginning of Code 128 data."},
    {453, "The character <char> cannot be encoded in Code 128 character set A."},
    {454, "Control characters can be encoded only in Code 128 character set A."},
    {455, "Code 128 character set C needs digits in pairs."},
    {456, "Code 128 character set C encodes digits only."},
    {457, "FNC2, FNC3, SHIFT and CODE C cannot stand in Code 128 character set C."},
    {458, "A Code 128 SHIFT cannot follow another SHIFT."},
    // The print dialog's warning for a printer that cannot be printed to.
    {459, "The chosen printer cannot be used. Please choose another printer."},
    {494, "Do you want to replace it?"},
    {502, "Mail Merge"},
    {523, "A template named <name> already exists."},
    // More bar-code data that is refused (the program's own wording).
    {645, "EAN-8 bar codes hold 7 or 8 digits."},
    {646, "An EAN-8 bar code of 7 digits needs its check digit computed."},
    {647, "EAN-8 bar codes must be numeric."},
    {648, "UPC-E bar codes hold 6 or 7 digits."},
    {649, "A UPC-E bar code of 6 digits needs its check digit computed."},
    {650, "UPC-E bar codes must be numeric."},
    {651, "FIM bar codes hold one letter: A, B or C."},
    {652, "Codabar bar codes hold only digits, A to D and $ + - . / :"},
    {653, "Codabar bar codes begin and end with a start or stop letter, A to D."},
    {654, "A start or stop letter, A to D,"},
    {655, "may stand only at the beginning or the end of a Codabar bar code."},
    // The bar code's default-property hint.
    {694, "The data the bar code encodes"},
    {1010, "&Name"},
    {1011, "Type"},
    {1012, "Where"},
    {1013, "&Properties"},
    {1014, "Number of &copies"},
    {1015, "Colla&te"},
    {1016, "P&rint"},
    {1017, "All pages in range"},
    {1018, "Odd pages"},
    {1019, "Even pages"},
    {1020, "Windows cannot print due to a problem with the current printer setup."},
    {1023, "Cannot generate report."},
    {1025, "Move Tab &Left"},
    {1026, "Move Tab &Right"},
    {1033, "Show all values of the <name> field."},
    {1034, "No Data Found"},
    {1035, "No data found for this report."},
    {1036, "has any value."},
    // A stretchable component's designer pop-up caption.
    {1130, "Keep Together"},
};

}  // namespace

std::string ppBuiltInMessage(int n) {
  const auto it = std::lower_bound(std::begin(builtInMessages), std::end(builtInMessages), n,
                                   [](const TMessageText& entry, int number) { return entry.Number < number; });
  if (it == std::end(builtInMessages) || it->Number != n) return {};
  return it->Text;
}
