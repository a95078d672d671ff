#include "dbDataSource.h"

#include <algorithm>

#include "dbConsts.h"
#include "dbDataSet.h"
#include "rtlTypeInfo.h"

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
  OnStateChange = nullptr;
  SetDataSet(nullptr);
  while (!dataLinks.empty()) dataLinks.back()->SetDataSource(nullptr);
}

bool TDataSource::IsLinkedTo(const TDataSet* target) const {
  // Bounded, so a loop made behind our back cannot hang the check.
  const TDataSet* current = dataSet;
  for (int depth = 0; current && depth < MaxMasterChain; ++depth) {
    if (current == target) return true;
    const TDataSource* master = current->GetDataSource();
    current = master ? master->DataSet() : nullptr;
  }
  return current != nullptr;
}

void TDataSource::SetDataSet(TDataSet* value) {
  if (value == dataSet) return;
  if (value && value->IsLinkedTo(this)) throw EDatabaseError(SCircularDataLink);
  if (dataSet) {
    dataSet->RemoveFreeNotification(this);
    dataSet->RemoveDataSource(this);
  }
  dataSet = value;
  if (dataSet) {
    dataSet->FreeNotification(this);
    dataSet->AddDataSource(this);
  }
  UpdateState();
}

void TDataSource::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == dataSet) {
    // The dataset is being destroyed: forget it without calling into it.
    dataSet = nullptr;
    UpdateState();
  }
}

void TDataSource::SetEnabled(bool value) {
  enabled = value;
  UpdateState();
}

void TDataSource::Edit() {
  if (autoEdit && state == dsBrowse) dataSet->Edit();
}

void TDataSource::AddDataLink(TDataLink* link) {
  dataLinks.push_back(link);
  link->dataSource = this;
  if (dataSet) dataSet->UpdateBufferCount();
  link->UpdateState();
}

void TDataSource::RemoveDataLink(TDataLink* link) {
  link->dataSource = nullptr;
  dataLinks.erase(std::remove(dataLinks.begin(), dataLinks.end(), link), dataLinks.end());
  link->UpdateState();
  if (dataSet) dataSet->UpdateBufferCount();
}

void TDataSource::UpdateState() {
  SetState(enabled && dataSet ? dataSet->State() : dsInactive);
}

void TDataSource::SetState(TDataSetState value) {
  if (state == value) return;
  state = value;
  NotifyDataLinks(deUpdateState, 0);
  if (OnStateChange) OnStateChange(this);
}

void TDataSource::NotifyDataLinks(TDataEvent event, intptr_t info) {
  // Detail links first, so a detail follows its master before controls
  // on the master repaint; a copy, as handlers may unlink.
  const std::vector<TDataLink*> links = dataLinks;
  for (TDataLink* link : links)
    if (link->GetDetailDataSet()) link->DataEvent(event, info);
  for (TDataLink* link : links)
    if (!link->GetDetailDataSet()) link->DataEvent(event, info);
}

void TDataSource::DataEvent(TDataEvent event, intptr_t info) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (state == dsInactive) return;
  NotifyDataLinks(event, info);
  switch (event) {
    case deFieldChange:
      if (OnDataChange) OnDataChange(this, reinterpret_cast<TField*>(info));
      break;
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (OnDataChange) OnDataChange(this, nullptr);
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(this);
      break;
    default: break;
  }
}
