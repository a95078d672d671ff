#pragma once
// The class library's string list: strings with an object pointer each
// (never owned), optionally kept sorted.

#include <functional>
#include <string>
#include <vector>

#include "rtlStrings.h"

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList;
using TStringListSortCompare = int (*)(TStringList& list, int index1, int index2);
using TStringsNotifyEvent = std::function<void(TStrings& sender)>;

class TStringList : public TStrings {
  RTL_DECLARE_CLASS(TStringList, TStrings)

  // Raised after every change, or once at the end of an update bracket.
  TStringsNotifyEvent OnChange;

  int Count() const override { return static_cast<int>(items.size()); }
  std::string Get(int index) const override;
  void Put(int index, const std::string& s) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* object) override;
  void Insert(int index, const std::string& s) override;
  void Delete(int index) override;
  void Clear() override;
  // Sorted: inserts in order; a duplicate is ignored (returning the index
  // of the one present), accepted, or refused by Duplicates.
  int Add(const std::string& s) override;
  int IndexOf(const std::string& s) const override;
  void Exchange(int index1, int index2) override;

  // Binary search of a sorted list: true when found; index is where the
  // string is or would go.
  bool Find(const std::string& s, int& index) const;
  void Sort();
  void CustomSort(TStringListSortCompare compare);

  bool Sorted() const { return sorted; }
  void SetSorted(bool value);
  void SetCaseSensitive(bool value);
  TDuplicates Duplicates = dupIgnore;

protected:
  void SetUpdateState(bool updating) override;
  int CompareStrings(const std::string& s1, const std::string& s2) const override;

private:
  struct TStringItem {
    std::string String;
    TObject* Object = nullptr;
  };
  std::vector<TStringItem> items;
  bool sorted = false;
  bool caseSensitive = false;

  void CheckIndex(int index) const;
  void InsertItem(int index, const std::string& s, TObject* object);
  void Changed();
};
