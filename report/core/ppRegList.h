#pragma once
// A string list that stays sorted and tells its observers of every
// insertion and deletion (the engine keeps its registered classes in one).

#include <vector>

#include "rtlStringList.h"

class TppRegList;

class TppRegListObserver {
public:
  virtual ~TppRegListObserver() = default;
  virtual void RegListChanged(TppRegList& list) = 0;
};

class TppRegList : public TStringList {
public:
  // The index after sorting.
  int Add(const std::string& s) override;
  void Insert(int index, const std::string& s) override;
  void Delete(int index) override;
  // Observers are not owned; each is called once per change.
  void AddObserver(TppRegListObserver* observer);
  void RemoveObserver(TppRegListObserver* observer);

private:
  std::vector<TppRegListObserver*> observers;

  void Changed();
};
