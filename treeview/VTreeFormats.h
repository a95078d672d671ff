#pragma once
// The formats a tree's data object offers, in the order it offers them:
// the tree stream and the reference to the live tree (native), then text.

#include <string>
#include <vector>

#include "VTree.h"

class TEnumFormatEtc {
public:
  explicit TEnumFormatEtc(TOLEFormats Formats);
  int Count() const { return static_cast<int>(formats.size()); }
  // EListError "FormatEtcList: Invalid item index." outside 0 .. Count - 1.
  const std::string& Item(int Index) const;
  // The next format from the enumerator's place; false after the last.
  bool Next(std::string& Format);
  void Skip(int Count);
  void Reset() { position = 0; }

private:
  std::vector<std::string> formats;
  int position = 0;
};
