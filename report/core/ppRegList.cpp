#include "ppRegList.h"

#include <algorithm>

int TppRegList::Add(const std::string& s) {
  TStringList::Add(s);
  Changed();
  return IndexOf(s);
}

void TppRegList::Insert(int index, const std::string& s) {
  TStringList::Insert(index, s);
  Changed();
}

void TppRegList::Delete(int index) {
  TStringList::Delete(index);
  Changed();
}

void TppRegList::AddObserver(TppRegListObserver* observer) {
  if (observer && std::find(observers.begin(), observers.end(), observer) == observers.end())
    observers.push_back(observer);
}

void TppRegList::RemoveObserver(TppRegListObserver* observer) { std::erase(observers, observer); }

void TppRegList::Changed() {
  Sort();
  // An observer may leave while it is told.
  const std::vector<TppRegListObserver*> snapshot = observers;
  for (TppRegListObserver* observer : snapshot)
    if (std::find(observers.begin(), observers.end(), observer) != observers.end()) observer->RegListChanged(*this);
}
