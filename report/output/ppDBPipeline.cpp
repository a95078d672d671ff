#include "ppDBPipeline.h"

#include "dbDataSet.h"
#include "dbDataSource.h"
#include "dbField.h"
#include "dbFieldClasses.h"
#include "rtlStreams.h"

const TClassInfo& TppDBPipeline::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppDBPipeline>("TppDBPipeline")
          .Property("AutoCreateFields", &TppDBPipeline::AutoCreateFields, &TppDBPipeline::SetAutoCreateFields)
          .Default(1)
          .Property("CloseDataSource", &TppDBPipeline::CloseDataSource, &TppDBPipeline::SetCloseDataSource)
          .Default(0)
          .Property("OpenDataSource", &TppDBPipeline::OpenDataSource, &TppDBPipeline::SetOpenDataSource)
          .Default(1)
          .Property("RefreshAfterPost", &TppDBPipeline::RefreshAfterPost, &TppDBPipeline::SetRefreshAfterPost)
          .Default(0)
          .Build();
  return info;
}

TppDBPipeline::TppDBPipeline(TComponent* owner) : TppDataPipeline(owner) {}

TppDBPipeline::~TppDBPipeline() { SetDataSource(nullptr); }

TDataSet* TppDBPipeline::DataSet() const { return dataSource ? dataSource->DataSet() : nullptr; }

void TppDBPipeline::SetDataSource(TDataSource* value) {
  if (value == dataSource) return;
  if (dataSource) dataSource->RemoveFreeNotification(this);
  dataSource = value;
  if (dataSource) dataSource->FreeNotification(this);
  // An open dataset's fields are known at once (the search dialog asks
  // their types before the pipeline opens).
  if (TDataSet* dataSet = DataSet(); dataSet && dataSet->Active()) CreateFields();
}

void TppDBPipeline::Notification(TComponent* component, TOperation operation) {
  inherited::Notification(component, operation);
  // The source being freed: compare the address only.
  if (operation == opRemove && component == dataSource) {
    dataSource = nullptr;
    Close();
  }
}

TppDataType ppFieldTypeToDataType(int fieldType) {
  switch (fieldType) {
    case ftString: return dtString;
    case ftSmallint:
    case ftInteger: return dtInteger;
    case ftWord:
    case ftAutoInc:
    case ftLargeint: return dtLongint;
    case ftBoolean: return dtBoolean;
    case ftFloat:
    case ftBCD: return dtDouble;
    case ftCurrency: return dtCurrency;
    case ftDate: return dtDate;
    case ftTime: return dtTime;
    case ftDateTime: return dtDateTime;
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob: return dtBLOB;
    case ftMemo: return dtMemo;
    case ftGraphic: return dtGraphic;
    default: return dtString;
  }
}

void TppDBPipeline::CreateFields() {
  TDataSet* dataSet = DataSet();
  if (!autoCreateFields || !dataSet) return;
  ClearFields();
  for (int i = 0; i < dataSet->FieldCount(); ++i) {
    const TField* field = dataSet->Fields(i);
    DefineField(field->FieldName(), ppFieldTypeToDataType(field->DataType()), field->Size());
  }
}

void TppDBPipeline::DataOpen() {
  TDataSet* dataSet = DataSet();
  if (!dataSet) return;
  if (openDataSource && !dataSet->Active()) dataSet->Open();
  CreateFields();
}

void TppDBPipeline::DataClose() {
  TDataSet* dataSet = DataSet();
  if (dataSet && closeDataSource) dataSet->Close();
}

bool TppDBPipeline::DataIsActive() const {
  const TDataSet* dataSet = DataSet();
  return dataSet && dataSet->Active();
}

void TppDBPipeline::DataFirst() {
  if (DataIsActive()) DataSet()->First();
}

void TppDBPipeline::DataLast() {
  if (DataIsActive()) DataSet()->Last();
}

int TppDBPipeline::DataMoveBy(int n) { return DataIsActive() ? DataSet()->MoveBy(n) : 0; }

bool TppDBPipeline::DataIsEmpty() const { return !DataIsActive() || DataSet()->IsEmpty(); }

Variant TppDBPipeline::DataFieldValue(const std::string& name) {
  const TField* field = DataIsActive() ? DataSet()->FindField(name) : nullptr;
  return field ? field->AsVariant() : Variant::Null();
}

bool TppDBPipeline::DataGetBookmark(std::vector<uint8_t>& bookmark) {
  if (!DataIsActive() || !DataSet()->BookmarkAvailable()) return false;
  bookmark = DataSet()->GetBookmark();
  return !bookmark.empty();
}

bool TppDBPipeline::DataGotoBookmark(const std::vector<uint8_t>& bookmark) {
  if (!DataIsActive() || bookmark.empty() || !DataSet()->BookmarkValid(bookmark)) return false;
  DataSet()->GotoBookmark(bookmark);
  return true;
}

bool TppDBPipeline::DataCompareBookmarks(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int& order) {
  if (!DataIsActive() || a.empty() || b.empty()) return false;
  order = DataSet()->CompareBookmarks(a, b);
  return true;
}

bool TppDBPipeline::DataLocate(const std::string& fieldName, const Variant& value) {
  if (!DataIsActive()) return false;
  TField* field = DataSet()->FindField(fieldName);
  if (!field) return false;
  Variant key = value;
  // A longer text can never equal the field's value: cut to its size.
  if (field->DataType() == ftString && !VarIsClear(value) && static_cast<int>(value.AsString().size()) > field->Size())
    key = Variant(value.AsString().substr(0, static_cast<size_t>(field->Size())));
  return DataSet()->Locate(fieldName, key, TLocateOptions());
}

bool TppDBPipeline::DataInsert() {
  if (!DataIsActive()) return false;
  DataSet()->Append();
  return true;
}

bool TppDBPipeline::DataEdit() {
  if (!DataIsActive()) return false;
  DataSet()->Edit();
  return true;
}

bool TppDBPipeline::DataPost() {
  if (!DataIsActive()) return false;
  DataSet()->Post();
  if (refreshAfterPost) DataSet()->Refresh();
  return true;
}

void TppDBPipeline::DataCancel() {
  if (DataIsActive()) DataSet()->Cancel();
}

bool TppDBPipeline::DataSetFieldValue(const std::string& name, const Variant& value) {
  TField* field = DataIsActive() ? DataSet()->FindField(name) : nullptr;
  if (!field) return false;
  field->SetAsVariant(value);
  return true;
}

bool TppDBPipeline::DataWriteFieldToStream(const std::string& name, TStream& stream) {
  TField* field = DataIsActive() ? DataSet()->FindField(name) : nullptr;
  if (!field) return false;
  if (auto* blob = dynamic_cast<TBlobField*>(field)) {
    blob->SaveToStream(stream);
    return true;
  }
  const std::string text = field->AsString();
  stream.WriteBuffer(text.c_str(), static_cast<int64_t>(text.size()) + 1);
  return true;
}

bool TppDBPipeline::DataReadFieldFromStream(const std::string& name, TStream& stream) {
  auto* blob = DataIsActive() ? dynamic_cast<TBlobField*>(DataSet()->FindField(name)) : nullptr;
  if (!blob) return false;
  blob->LoadFromStream(stream);
  return true;
}
