#include <algorithm>

#include "dbConsts.h"
#include "dbDataSet.h"
#include "dbDataSource.h"
#include "rtlTypeInfo.h"

RTL_DEFINE_CLASS(TDataLink)

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
  if (dataSource) dataSource->RemoveDataLink(this);
}

TDataSet* TDataLink::DataSet() const { return dataSource ? dataSource->DataSet() : nullptr; }

void TDataLink::SetDataSource(TDataSource* value) {
  if (value == dataSource) return;
  if (value && GetDetailDataSet() && value->IsLinkedTo(GetDetailDataSet())) throw EDatabaseError(SCircularDataLink);
  if (dataSource) dataSource->RemoveDataLink(this);
  if (value) value->AddDataLink(this);
}

void TDataLink::SetReadOnly(bool value) {
  if (readOnly == value) return;
  readOnly = value;
  UpdateState();
}

void TDataLink::SetBufferCount(int value) {
  value = std::max(value, 1);
  if (bufferCount == value) return;
  bufferCount = value;
  if (active) {
    UpdateRange();
    DataSet()->UpdateBufferCount();
    UpdateRange();
  }
}

int TDataLink::ActiveRecord() const {
  if (!active) return 0;
  TDataSet* dataSet = DataSet();
  return dataSource->State() == dsSetKey ? 0 : dataSet->activeRecord - firstRecord;
}

void TDataLink::SetActiveRecord(int value) {
  if (!active || dataSource->State() == dsSetKey) return;
  TDataSet* dataSet = DataSet();
  const int record = std::clamp(value + firstRecord, 0, std::max(dataSet->recordCount - 1, 0));
  dataSet->activeRecord = record;
}

int TDataLink::RecordCount() const {
  if (!active) return 0;
  if (dataSource->State() == dsSetKey) return 1;
  return std::clamp(DataSet()->recordCount - firstRecord, 0, bufferCount);
}

bool TDataLink::Edit() {
  if (!readOnly && dataSource) dataSource->Edit();
  return editing;
}

void TDataLink::UpdateRecord() {
  updating = true;
  try {
    UpdateData();
  } catch (...) {
    updating = false;
    throw;
  }
  updating = false;
}

int TDataLink::MoveBy(int distance) { return DataSet() ? DataSet()->MoveBy(distance) : 0; }

void TDataLink::UpdateState() {
  SetActive(dataSource && dataSource->State() != dsInactive);
  SetEditing(dataSource && (dataSource->State() == dsEdit || dataSource->State() == dsInsert) && !readOnly);
}

void TDataLink::SetActive(bool value) {
  if (active == value) return;
  active = value;
  if (value)
    UpdateRange();
  else
    firstRecord = 0;
  ActiveChanged();
}

void TDataLink::SetEditing(bool value) {
  if (editing == value) return;
  editing = value;
  EditingChanged();
}

void TDataLink::UpdateRange() {
  TDataSet* dataSet = DataSet();
  const int low = std::max(dataSet->activeRecord - bufferCount + 1, 0);
  const int high = std::max(std::min(dataSet->bufferCount - bufferCount, dataSet->activeRecord), 0);
  firstRecord = std::clamp(firstRecord, low, std::max(low, high));
}

void TDataLink::DataEvent(TDataEvent event, intptr_t info) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (!active) return;
  switch (event) {
    case deFieldChange:
    case deRecordChange:
      if (!updating) RecordChanged(reinterpret_cast<TField*>(info));
      break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange: {
      int count = 0;
      if (dataSource->State() != dsSetKey) {
        // Follow the active record: the window moves by the ring's scroll
        // (info) and then as little as keeps the active record in it.
        const int activeIndex = DataSet()->activeRecord;
        const int first = firstRecord + static_cast<int>(info);
        const int last = first + bufferCount - 1;
        if (activeIndex > last)
          count = activeIndex - last;
        else if (activeIndex < first)
          count = activeIndex - first;
        firstRecord = first + count;
      }
      if (event == deDataSetChange)
        DataSetChanged();
      else if (event == deDataSetScroll)
        DataSetScrolled(count);
      else
        LayoutChanged();
      break;
    }
    case deUpdateRecord: UpdateRecord(); break;
    case deCheckBrowseMode: CheckBrowseMode(); break;
    case deFocusControl: FocusControl(reinterpret_cast<TField**>(info)); break;
    default: break;
  }
}
