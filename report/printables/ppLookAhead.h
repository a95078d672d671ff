#pragma once
// Values printed before they are reached (a group's total in its header):
// the first pass of a two-pass report records each key's value as it
// grows; the pages of the second pass print the value recorded last.
// Each entry is a text command that hears its owner's look-ahead value
// event (67) until a later key arrives, when its value is final.

#include <string>
#include <vector>

#include "ppComm.h"
#include "ppDrwCmd.h"
#include "rtlClasses.h"

class TppLookAheadList {
public:
  explicit TppLookAheadList(TppCommunicator* owner) : owner(owner) {}
  TppLookAheadList(const TppLookAheadList&) = delete;
  TppLookAheadList& operator=(const TppLookAheadList&) = delete;
  ~TppLookAheadList() { Clear(); }

  // A known key: the owner tells every listener (entries and the commands
  // of earlier pages) the new text. A new key gets an entry of its own.
  void Update(const std::string& key, int traversalCount, const std::string& text);
  // nullptr when no entry has the key; the entries before the one found
  // stop hearing the owner (their values are final).
  TppDrawVariable* Find(const std::string& key);
  std::string GetText(const std::string& key, const std::string& defaultText);
  // Prints the key's recorded value in a page's command; in the first pass
  // the command also hears the owner's later values of its key.
  void ApplyTo(TppDrawVariable& text, const std::string& key, bool firstPass);
  // The key of the value counted by counter (a group's break, a page, a
  // traversal) in the first column.
  static std::string Key(int counter);
  void UnregisterAll();
  void Clear();
  int Count() const { return static_cast<int>(entries.size()); }

  // The values travel as (key, traversal count, text).
  static TppEventParams ValueParams(const std::string& key, int traversalCount, const std::string& text);

private:
  TppCommunicator* owner;
  std::vector<TObjectPtr<TppDrawVariable>> entries;
};
