// The class each field type gets when the dataset makes its default fields.

#include "dbFieldClasses.h"

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
