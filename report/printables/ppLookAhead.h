#pragma once
// Values printed before they are reached (a group's total in its header):
// the first pass of a two-pass report records each key's value as it
// grows; the pages of the second pass print the value recorded last.
// Each entry is a text command that hears its owner's look-ahead value
// event (67) until a later key arrives, when its value is final.

#include <string>
#include <unordered_map>
#include <vector>

#include "ppComm.h"
#include "ppDrwCmd.h"
#include "ppPrintable.h"
#include "rtlClasses.h"

class TppDataPipeline;
class TppCustomReport;

// The pipeline whose records a report's detail band prints: the band's own,
// else the report's (nullptr without either).
const TppDataPipeline* ppDetailPipeline(const TppCustomReport* report);

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
  // traversal) in a column, within the report instance reportKey names.
  static std::string Key(const std::string& reportKey, int counter, int column);
  // What names the instance of the component's report: empty in the main
  // report; in a child report, the instance of its subreport and of every
  // report holding that one, so that each instance keeps its own values.
  static std::string ReportKey(const TppComponent& component);
  void UnregisterAll();
  void Clear();
  int Count() const { return static_cast<int>(entries.size()); }

  // The values travel as (key, traversal count, text).
  static TppEventParams ValueParams(const std::string& key, int traversalCount, const std::string& text);

private:
  TppCommunicator* owner;
  std::vector<TObjectPtr<TppDrawVariable>> entries;
  std::unordered_map<std::string, size_t> indexOfKey;
  // The entries before this one no longer hear the owner.
  size_t finalEntries = 0;
};
