#pragma once
// Small routines that many parts of the engine share: page lists, unique
// component names, fitted and capitalised text, system variable texts,
// temporary files and the event ids of variable timings.

#include <string>

#include "ppTypes.h"
#include "rtlDateTime.h"
#include "rtlFormatSettings.h"

class TComponent;
class TMemoryStream;
class TStrings;

// The largest page number a page list holds: eight digits keep the
// right-aligned texts in numeric order. Longer numbers are clamped to it.
constexpr int ppMaxPageNumber = 99999999;
// The most pages one list may name; a longer list is refused, never
// expanded.
constexpr int ppMaxPageListCount = 100000;

// Reads "1,3,5-7" into sorted "%8d" entries (left-trimmed with trim set).
// False, with the list empty, when the text names more than
// ppMaxPageListCount pages.
bool ppParsePageList(const std::string& text, TStrings& list, bool trim);

// base + the smallest positive n that no other component of the owner of
// the component's class (or a descendant) carries as base + n; the base
// alone without an owner.
std::string ppMakeUniqueName(const TComponent* owner, const std::string& base, const TComponent* component);

std::string ppClassNameNoPrefix(const std::string& className);
std::string ppClassNameShort(const std::string& className);

// Pads with blanks or cuts to length characters: alignment 0 pads on the
// right, 1 on the left, 2 centres (round(missing / 2) blanks on the left).
std::string ppFitText(const std::string& text, int length, int alignment);
void ppParseCommaList(const std::string& text, TStrings& list);
double ppScaleToFit(double width, double height, double targetWidth, double targetHeight);

std::string ppGetTempPath();
// Creates a new empty file "<prefix>XXXXXX.tmp" in the folder (never
// replacing another's file) and returns its name; EOSError on failure.
std::string ppGetTempFileName(const std::string& folder, const std::string& prefix);

std::string ppExtractPath(const std::string& fileName);
std::string ppRemoveChar(const std::string& text, char ch);
bool ppTextEquals(const std::string& a, const std::string& b);
std::string ppCapitalize(const std::string& text);
// Date-time text in the settings' formats; EConvertError when it is none.
TDateTime ppStrToDateTime(const std::string& text, const TFormatSettings& settings);
// Empties the stream and writes the list's text (no terminating zero).
void ppWriteStringsToStream(const TStrings& list, TMemoryStream& stream);
// "5.56" gives 5560.
int ppVersionToInteger(const std::string& version);

// What the page-information variables need of the page being printed.
struct TppPageInfo {
  int PageNo = 1;
  int PageCount = 1;
  TDateTime PrintDateTime = 0;
};
// The text of a system variable; without page information page numbers
// and counts are 1 and the print date-time is now.
std::string ppSystemVariableText(TppVarType type, const TppPageInfo* pageInfo, const TFormatSettings& settings);

int ppVarEventToEventID(TppVarEventType eventType);
// The band mapping of stored band kinds 0..8 (2 is skipped).
int ppBandKindToType(int value);
