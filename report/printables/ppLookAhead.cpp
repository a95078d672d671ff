#include "ppLookAhead.h"

#include <cstdio>

#include "ppBands.h"
#include "ppReport.h"
#include "ppSubReport.h"

const TppDataPipeline* ppDetailPipeline(const TppCustomReport* report) {
  if (!report) return nullptr;
  if (const auto* detail = dynamic_cast<const TppDetailBand*>(report->GetBand(btDetail)))
    if (detail->DataPipeline()) return detail->DataPipeline();
  return report->DataPipeline();
}

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
  indexOfKey.emplace(key, entries.size());
  entries.push_back(std::move(entry));
}

TppDrawVariable* TppLookAheadList::Find(const std::string& key) {
  const auto it = indexOfKey.find(key);
  if (it == indexOfKey.end()) return nullptr;
  const size_t found = it->second;
  // Only the entries passed since the last look-up have to be told.
  for (; finalEntries < found; ++finalEntries)
    if (TppCommunicator* link = entries[finalEntries]->LookAheadLink()) owner->RemoveEventNotify(link);
  return entries[found].get();
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

std::string TppLookAheadList::Key(const std::string& reportKey, int counter, int column) {
  char numbers[32];
  const int length = std::snprintf(numbers, sizeof numbers, "%8d|%8d", counter, column);
  return reportKey + std::string(numbers, static_cast<size_t>(length));
}

std::string TppLookAheadList::ReportKey(const TppComponent& component) {
  auto* child = dynamic_cast<TppChildReport*>(component.GetReport());
  if (!child || !child->SubReport() || child->MainReport() == child) return {};
  return child->SubReport()->CurrentExpansionKey();
}

void TppLookAheadList::UnregisterAll() {
  for (auto& entry : entries)
    if (TppCommunicator* link = entry->LookAheadLink()) owner->RemoveEventNotify(link);
  finalEntries = entries.size();
}

void TppLookAheadList::Clear() {
  UnregisterAll();
  entries.clear();
  indexOfKey.clear();
  finalEntries = 0;
}
