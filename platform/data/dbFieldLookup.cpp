// Lookup fields: a field whose value another dataset supplies, found there
// by the values of key fields of its own dataset.

#include "dbConsts.h"
#include "dbDataSet.h"
#include "dbField.h"
#include "dbFieldDefs.h"

void TField::SetLookupDataSet(TDataSet* value) {
  if (value == lookupDataSet) return;
  if (dataSet) dataSet->CheckInactive();
  if (value != nullptr && value == dataSet) throw EDatabaseError(SCircularDataLink);
  if (lookupDataSet) lookupDataSet->RemoveFreeNotification(this);
  lookupDataSet = value;
  if (lookupDataSet) lookupDataSet->FreeNotification(this);
}

void TField::SetKeyFields(const std::string& value) {
  if (dataSet) dataSet->CheckInactive();
  keyFields = value;
}

void TField::SetLookupKeyFields(const std::string& value) {
  if (dataSet) dataSet->CheckInactive();
  lookupKeyFields = value;
}

void TField::SetLookupResultField(const std::string& value) {
  if (dataSet) dataSet->CheckInactive();
  lookupResultField = value;
}

void TField::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  // A lookup dataset being destroyed is forgotten without calling into it.
  if (operation == opRemove && component == lookupDataSet) lookupDataSet = nullptr;
}

void TField::CheckLookup() const {
  if (lookupDataSet == nullptr || keyFields.empty() || lookupKeyFields.empty() || lookupResultField.empty() ||
      SplitFieldNames(keyFields).size() != SplitFieldNames(lookupKeyFields).size())
    throw EDatabaseError(SLookupInfoError, {DisplayName()});
  CheckedDataSet().GetFieldList(keyFields);
}

Variant TField::LookupValue() const {
  if (lookupDataSet == nullptr || !lookupDataSet->Active()) return Variant::Null();
  const TDataSet& own = CheckedDataSet();
  const std::vector<TField*> keys = own.GetFieldList(keyFields);
  std::vector<Variant> values;
  values.reserve(keys.size());
  for (const TField* key : keys) {
    if (key->IsNull()) return Variant::Null();
    values.push_back(key->AsVariant());
  }
  return lookupDataSet->Lookup(lookupKeyFields, values.size() == 1 ? values.front() : Variant::ArrayOf(std::move(values)),
                               lookupResultField);
}

void TDataSet::CalculateLookupFields() {
  // A chain of lookups that comes back to this dataset leaves the fields
  // blank there instead of looking up for ever.
  if (lookingUp) return;
  lookingUp = true;
  try {
    for (TField* field : fields)
      if (field->FieldKind() == fkLookup) field->SetValue(field->LookupValue());
  } catch (...) {
    lookingUp = false;
    throw;
  }
  lookingUp = false;
}
