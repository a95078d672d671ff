#pragma once
// Shared set-up of the framework's tests: a memory dataset with one field
// of each common kind, filled with numbered rows, and a data link that
// writes down what it is told.

#include <memory>
#include <string>
#include <vector>

#include "dbDataSource.h"
#include "dbFieldClasses.h"
#include "dbMemoryDataSet.h"
#include "rtlExceptions.h"

// Fields: ID (integer, required), NAME (string 20), AMOUNT (float),
// PRICE (BCD, scale 2), BORN (date), NOTE (memo), ACTIVE (boolean).
// Row n has ID n, NAME "Name<n>", AMOUNT n * 1.5, PRICE n + 0.25,
// BORN 2000-01-<n>, ACTIVE for even n.
std::unique_ptr<TMemoryDataSet, TObjectFree> MakePeople(int rows);
void AppendPerson(TDataSet& dataSet, int n);

// The IDs of the records, in the order a walk from First meets them.
std::vector<int> WalkIds(TDataSet& dataSet);

class TRecordingLink : public TDataLink {
public:
  std::vector<std::string> Events;
  std::vector<int> Scrolls;
  TField* LastChangedField = nullptr;

protected:
  void ActiveChanged() override { Events.push_back(Active() ? "active" : "inactive"); }
  void DataSetChanged() override { Events.push_back("changed"); }
  void DataSetScrolled(int distance) override {
    Events.push_back("scrolled");
    Scrolls.push_back(distance);
  }
  void EditingChanged() override { Events.push_back(Editing() ? "editing" : "not editing"); }
  void RecordChanged(TField* field) override {
    Events.push_back("record");
    LastChangedField = field;
  }
  void LayoutChanged() override { Events.push_back("layout"); }
  void CheckBrowseMode() override { Events.push_back("browse"); }
  void UpdateData() override { Events.push_back("update"); }
};

// The message of the exception call raises, or "no error".
template <typename F>
std::string ErrorOf(F&& call) {
  try {
    call();
  } catch (const Exception& e) {
    return e.Message;
  }
  return "no error";
}
