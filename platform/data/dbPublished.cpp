// The published properties and events of the framework's components, in
// the order streams write them, and their registration for readers.

#include "dbDataSet.h"
#include "dbDataSource.h"
#include "dbFieldClasses.h"
#include "dbPublished.h"
#include "rtlTypeInfo.h"

const TClassInfo& TDataSet::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TDataSet>("TDataSet")
                                     .Property("Active", &TDataSet::Active, &TDataSet::SetActive)
                                     .Default(0)
                                     .Property("AutoCalcFields", &TDataSet::AutoCalcFields, &TDataSet::SetAutoCalcFields)
                                     .Default(1)
                                     .Property("Filter", &TDataSet::Filter, &TDataSet::SetFilterText)
                                     .Property("Filtered", &TDataSet::Filtered, &TDataSet::SetFiltered)
                                     .Default(0)
                                     .Property("FilterOptions", &TDataSet::FilterOptions, &TDataSet::SetFilterOptions)
                                     .Default(0)
                                     .Event("BeforeOpen", &TDataSet::BeforeOpen)
                                     .Event("AfterOpen", &TDataSet::AfterOpen)
                                     .Event("BeforeClose", &TDataSet::BeforeClose)
                                     .Event("AfterClose", &TDataSet::AfterClose)
                                     .Event("BeforeInsert", &TDataSet::BeforeInsert)
                                     .Event("AfterInsert", &TDataSet::AfterInsert)
                                     .Event("BeforeEdit", &TDataSet::BeforeEdit)
                                     .Event("AfterEdit", &TDataSet::AfterEdit)
                                     .Event("BeforePost", &TDataSet::BeforePost)
                                     .Event("AfterPost", &TDataSet::AfterPost)
                                     .Event("BeforeCancel", &TDataSet::BeforeCancel)
                                     .Event("AfterCancel", &TDataSet::AfterCancel)
                                     .Event("BeforeDelete", &TDataSet::BeforeDelete)
                                     .Event("AfterDelete", &TDataSet::AfterDelete)
                                     .Event("BeforeScroll", &TDataSet::BeforeScroll)
                                     .Event("AfterScroll", &TDataSet::AfterScroll)
                                     .Event("OnCalcFields", &TDataSet::OnCalcFields)
                                     .Event("OnDeleteError", &TDataSet::OnDeleteError)
                                     .Event("OnEditError", &TDataSet::OnEditError)
                                     .Event("OnFilterRecord", &TDataSet::OnFilterRecord, &TDataSet::SetOnFilterRecord)
                                     .Event("OnNewRecord", &TDataSet::OnNewRecord)
                                     .Event("OnPostError", &TDataSet::OnPostError)
                                     .Build();
  return info;
}

const TClassInfo& TDataSource::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TDataSource>("TDataSource")
                                     .Property("AutoEdit", &TDataSource::AutoEdit, &TDataSource::SetAutoEdit)
                                     .Default(1)
                                     .Property("DataSet", &TDataSource::DataSet, &TDataSource::SetDataSet)
                                     .Property("Enabled", &TDataSource::Enabled, &TDataSource::SetEnabled)
                                     .Default(1)
                                     .Event("OnStateChange", &TDataSource::OnStateChange)
                                     .Event("OnDataChange", &TDataSource::OnDataChange)
                                     .Event("OnUpdateData", &TDataSource::OnUpdateData)
                                     .Build();
  return info;
}

const TClassInfo& TField::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TField>("TField")
                                     .Property("Alignment", &TField::Alignment, &TField::SetAlignment)
                                     .Property("DisplayLabel", &TField::DisplayLabel, &TField::SetDisplayLabel)
                                     .Stored(&TField::IsDisplayLabelStored)
                                     .Property("DisplayWidth", &TField::DisplayWidth, &TField::SetDisplayWidth)
                                     .Stored(&TField::IsDisplayWidthStored)
                                     .Property("FieldKind", &TField::FieldKind, &TField::SetFieldKind)
                                     .Default(fkData)
                                     .Property("FieldName", &TField::FieldName, &TField::SetFieldName)
                                     .Property("KeyFields", &TField::KeyFields, &TField::SetKeyFields)
                                     .Property("LookupDataSet", &TField::LookupDataSet, &TField::SetLookupDataSet)
                                     .Property("LookupKeyFields", &TField::LookupKeyFields, &TField::SetLookupKeyFields)
                                     .Property("LookupResultField", &TField::LookupResultField,
                                               &TField::SetLookupResultField)
                                     .Property("ReadOnly", &TField::ReadOnly, &TField::SetReadOnly)
                                     .Default(0)
                                     .Property("Required", &TField::Required, &TField::SetRequired)
                                     .Default(0)
                                     .Property("Visible", &TField::Visible, &TField::SetVisible)
                                     .Default(1)
                                     .Event("OnChange", &TField::OnChange)
                                     .Event("OnGetText", &TField::OnGetText)
                                     .Event("OnSetText", &TField::OnSetText)
                                     .Event("OnValidate", &TField::OnValidate)
                                     .Build();
  return info;
}

const TClassInfo& TStringField::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TStringField>("TStringField")
                                     .Property("FixedChar", &TStringField::FixedChar, &TStringField::SetFixedChar)
                                     .Default(0)
                                     .Property("Size", &TStringField::Size, &TStringField::SetSize)
                                     .Default(20)
                                     .Build();
  return info;
}

const TClassInfo& TNumericField::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TNumericField>("TNumericField")
          .Property("DisplayFormat", &TNumericField::DisplayFormat, &TNumericField::SetDisplayFormat)
          .Property("EditFormat", &TNumericField::EditFormat, &TNumericField::SetEditFormat)
          .Build();
  return info;
}

const TClassInfo& TIntegerField::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TIntegerField>("TIntegerField")
                                     .Property("MaxValue", &TIntegerField::MaxValue, &TIntegerField::SetMaxValue)
                                     .Default(0)
                                     .Property("MinValue", &TIntegerField::MinValue, &TIntegerField::SetMinValue)
                                     .Default(0)
                                     .Build();
  return info;
}

const TClassInfo& TFloatField::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TFloatField>("TFloatField")
                                     .Property("Currency", &TFloatField::Currency, &TFloatField::SetCurrency)
                                     .Default(0)
                                     .Property("MaxValue", &TFloatField::MaxValue, &TFloatField::SetMaxValue)
                                     .Property("MinValue", &TFloatField::MinValue, &TFloatField::SetMinValue)
                                     .Property("Precision", &TFloatField::Precision, &TFloatField::SetPrecision)
                                     .Default(15)
                                     .Build();
  return info;
}

const TClassInfo& TBCDField::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TBCDField>("TBCDField")
                                     .Property("Currency", &TBCDField::Currency, &TBCDField::SetCurrency)
                                     .Default(0)
                                     .Property("MaxValue", &TBCDField::MaxValue, &TBCDField::SetMaxValue)
                                     .Property("MinValue", &TBCDField::MinValue, &TBCDField::SetMinValue)
                                     .Property("Precision", &TBCDField::Precision, &TBCDField::SetPrecision)
                                     .Default(20)
                                     .Property("Size", &TBCDField::Size, &TBCDField::SetSize)
                                     .Default(4)
                                     .Build();
  return info;
}

const TClassInfo& TBooleanField::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TBooleanField>("TBooleanField")
          .Property("DisplayValues", &TBooleanField::DisplayValues, &TBooleanField::SetDisplayValues)
          .Build();
  return info;
}

const TClassInfo& TDateTimeField::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TDateTimeField>("TDateTimeField")
          .Property("DisplayFormat", &TDateTimeField::DisplayFormat, &TDateTimeField::SetDisplayFormat)
          .Build();
  return info;
}

const TClassInfo& TBinaryField::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TBinaryField>("TBinaryField")
                                     .Property("Size", &TBinaryField::Size, &TBinaryField::SetSize)
                                     .Default(16)
                                     .Build();
  return info;
}

const TClassInfo& TBlobField::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TBlobField>("TBlobField")
                                     .Property("BlobType", &TBlobField::BlobType, &TBlobField::SetBlobType)
                                     .Property("Size", &TBlobField::Size, &TBlobField::SetSize)
                                     .Default(0)
                                     .Build();
  return info;
}

RTL_DEFINE_CLASS(TSmallintField)
RTL_DEFINE_CLASS(TWordField)
RTL_DEFINE_CLASS(TAutoIncField)
RTL_DEFINE_CLASS(TLargeintField)
RTL_DEFINE_CLASS(TCurrencyField)
RTL_DEFINE_CLASS(TDateField)
RTL_DEFINE_CLASS(TTimeField)
RTL_DEFINE_CLASS(TBytesField)
RTL_DEFINE_CLASS(TVarBytesField)
RTL_DEFINE_CLASS(TMemoField)
RTL_DEFINE_CLASS(TGraphicField)

void RegisterDataClasses() {
  for (const TClassInfo* info :
       {&TDataSource::StaticClassType(), &TStringField::StaticClassType(), &TSmallintField::StaticClassType(),
        &TIntegerField::StaticClassType(), &TWordField::StaticClassType(), &TAutoIncField::StaticClassType(),
        &TLargeintField::StaticClassType(), &TFloatField::StaticClassType(), &TCurrencyField::StaticClassType(),
        &TBCDField::StaticClassType(), &TBooleanField::StaticClassType(), &TDateTimeField::StaticClassType(),
        &TDateField::StaticClassType(), &TTimeField::StaticClassType(), &TBytesField::StaticClassType(),
        &TVarBytesField::StaticClassType(), &TBlobField::StaticClassType(), &TMemoField::StaticClassType(),
        &TGraphicField::StaticClassType()})
    RegisterClass(*info);
}
