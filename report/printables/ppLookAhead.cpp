#include "ppLookAhead.h"

#include "rtlFormat.h"

TppEventParams TppLookAheadList::ValueParams(const std::string& key, int traversalCount, const std::string& text) {
  return TppEventParams{Variant(key), Variant(traversalCount), Variant(text)};
}

void TppLookAheadList::Update(const std::string& key, int traversalCount, const std::string& text) {
  if (Find(key)) {
    TppEventParams params = ValueParams(key, traversalCount, text);
    owner->SendEventNotify(owner, ppevLookAheadValue, &params);
    return;
  }
  TObjectPtr<TppDrawVariable> entry(new TppDrawVariable(nullptr));
  entry->Text = text;
  entry->SetLookAheadKey(key);
  entry->SetLookAhead(true);
  owner->AddEventNotify(entry->LookAheadLink());
  entries.push_back(std::move(entry));
}

TppDrawVariable* TppLookAheadList::Find(const std::string& key) {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i]->LookAheadKey() != key) continue;
    for (size_t k = 0; k < i; ++k)
      if (TppCommunicator* link = entries[k]->LookAheadLink()) owner->RemoveEventNotify(link);
    return entries[i].get();
  }
  return nullptr;
}

std::string TppLookAheadList::GetText(const std::string& key, const std::string& defaultText) {
  const TppDrawVariable* entry = Find(key);
  return entry ? entry->Text : defaultText;
}

void TppLookAheadList::ApplyTo(TppDrawVariable& text, const std::string& key, bool firstPass) {
  text.Text = GetText(key, text.Text);
  if (!firstPass) return;
  text.SetLookAheadKey(key);
  text.SetLookAhead(true);
  owner->AddEventNotify(text.LookAheadLink());
}

std::string TppLookAheadList::Key(int counter) { return Format("%8d", {counter}) + "|" + Format("%8d", {0}); }

void TppLookAheadList::UnregisterAll() {
  for (auto& entry : entries)
    if (TppCommunicator* link = entry->LookAheadLink()) owner->RemoveEventNotify(link);
}

void TppLookAheadList::Clear() {
  UnregisterAll();
  entries.clear();
}
