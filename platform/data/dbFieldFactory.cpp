// The class descriptors of the field classes and the class each field type
// gets when the dataset makes its default fields.

#include "dbFieldClasses.h"
#include "rtlTypeInfo.h"

RTL_DEFINE_CLASS(TStringField)
RTL_DEFINE_CLASS(TNumericField)
RTL_DEFINE_CLASS(TIntegerField)
RTL_DEFINE_CLASS(TSmallintField)
RTL_DEFINE_CLASS(TWordField)
RTL_DEFINE_CLASS(TAutoIncField)
RTL_DEFINE_CLASS(TLargeintField)
RTL_DEFINE_CLASS(TFloatField)
RTL_DEFINE_CLASS(TCurrencyField)
RTL_DEFINE_CLASS(TBCDField)
RTL_DEFINE_CLASS(TBooleanField)
RTL_DEFINE_CLASS(TDateTimeField)
RTL_DEFINE_CLASS(TDateField)
RTL_DEFINE_CLASS(TTimeField)
RTL_DEFINE_CLASS(TBinaryField)
RTL_DEFINE_CLASS(TBytesField)
RTL_DEFINE_CLASS(TVarBytesField)
RTL_DEFINE_CLASS(TBlobField)
RTL_DEFINE_CLASS(TMemoField)
RTL_DEFINE_CLASS(TGraphicField)

TField* CreateFieldOfType(TFieldType type, TComponent* owner) {
  switch (type) {
    case ftString: return new TStringField(owner);
    case ftFixedChar: {
      auto* field = new TStringField(owner);
      field->SetFixedChar(true);
      return field;
    }
    case ftSmallint: return new TSmallintField(owner);
    case ftInteger: return new TIntegerField(owner);
    case ftWord: return new TWordField(owner);
    case ftAutoInc: return new TAutoIncField(owner);
    case ftLargeint: return new TLargeintField(owner);
    case ftBoolean: return new TBooleanField(owner);
    case ftFloat: return new TFloatField(owner);
    case ftCurrency: return new TCurrencyField(owner);
    case ftBCD: return new TBCDField(owner);
    case ftDate: return new TDateField(owner);
    case ftTime: return new TTimeField(owner);
    case ftDateTime: return new TDateTimeField(owner);
    case ftBytes: return new TBytesField(owner);
    case ftVarBytes: return new TVarBytesField(owner);
    case ftMemo: return new TMemoField(owner);
    case ftGraphic: return new TGraphicField(owner);
    case ftBlob:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary: {
      auto* field = new TBlobField(owner);
      field->SetBlobType(type);
      return field;
    }
    default: return nullptr;
  }
}
