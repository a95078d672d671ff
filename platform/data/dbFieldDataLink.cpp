#include "dbDataSet.h"
#include "dbDataSource.h"
#include "rtlTypeInfo.h"

RTL_DEFINE_CLASS(TFieldDataLink)

void TFieldDataLink::SetFieldName(const std::string& value) {
  if (fieldName == value) return;
  fieldName = value;
  UpdateField();
}

void TFieldDataLink::SetField(TField* value) {
  if (field == value) return;
  field = value;
  EditingChanged();
  RecordChanged(nullptr);
}

void TFieldDataLink::UpdateField() {
  SetField(Active() && !fieldName.empty() ? DataSet()->FindField(fieldName) : nullptr);
}

bool TFieldDataLink::CanModify() const { return !ReadOnly() && field && field->CanModify(); }

void TFieldDataLink::Modified() { modified = true; }

void TFieldDataLink::ActiveChanged() {
  UpdateField();
  if (OnActiveChange) OnActiveChange(this);
}

void TFieldDataLink::EditingChanged() {
  if (OnEditingChange) OnEditingChange(this);
}

void TFieldDataLink::LayoutChanged() { UpdateField(); }

void TFieldDataLink::RecordChanged(TField* changed) {
  if (changed == nullptr || changed == field) {
    modified = false;
    if (OnDataChange) OnDataChange(this);
  }
}

void TFieldDataLink::UpdateData() {
  if (!modified) return;
  if (field && OnUpdateData) OnUpdateData(this);
  modified = false;
}
