#pragma once
// The dataset framework's enumerations and shared types. The numeric order
// of TFieldType and TParamType is a stored format (tables, parameter
// streams and table definitions hold the numbers): never reorder them.

#include <cstdint>
#include <string>
#include <vector>

#include "rtlSets.h"
#include "rtlTypeInfo.h"

enum TFieldType : uint8_t {
  ftUnknown,      // 0
  ftString,       // 1
  ftSmallint,     // 2
  ftInteger,      // 3
  ftWord,         // 4
  ftBoolean,      // 5
  ftFloat,        // 6
  ftCurrency,     // 7
  ftBCD,          // 8
  ftDate,         // 9
  ftTime,         // 10
  ftDateTime,     // 11
  ftBytes,        // 12
  ftVarBytes,     // 13
  ftAutoInc,      // 14
  ftBlob,         // 15
  ftMemo,         // 16
  ftGraphic,      // 17
  ftFmtMemo,      // 18
  ftParadoxOle,   // 19
  ftDBaseOle,     // 20
  ftTypedBinary,  // 21
  ftCursor,       // 22
  ftFixedChar,    // 23
  ftWideString,   // 24
  ftLargeint,     // 25
  ftADT,          // 26
  ftArray,        // 27
  ftReference,    // 28
  ftDataSet,      // 29
  ftOraBlob,      // 30
  ftOraClob,      // 31
  ftVariant,      // 32
  ftInterface,    // 33
  ftIDispatch,    // 34
  ftGuid          // 35
};

RTL_ENUM_TYPE(TFieldType, "ftUnknown", "ftString", "ftSmallint", "ftInteger", "ftWord", "ftBoolean", "ftFloat",
              "ftCurrency", "ftBCD", "ftDate", "ftTime", "ftDateTime", "ftBytes", "ftVarBytes", "ftAutoInc", "ftBlob",
              "ftMemo", "ftGraphic", "ftFmtMemo", "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor",
              "ftFixedChar", "ftWideString", "ftLargeint", "ftADT", "ftArray", "ftReference", "ftDataSet",
              "ftOraBlob", "ftOraClob", "ftVariant", "ftInterface", "ftIDispatch", "ftGuid")

// "ftUnknown" ... "ftGuid": the names table definitions and streams use.
std::string FieldTypeName(TFieldType type);

enum TParamType : uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

enum TDataSetState {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsOldValue,
  dsCurValue,
  dsBlockRead,
  dsInternalCalc,
  dsOpening
};

enum TDataEvent {
  deFieldChange,
  deRecordChange,
  deDataSetChange,
  deDataSetScroll,
  deLayoutChange,
  deUpdateRecord,
  deUpdateState,
  deCheckBrowseMode,
  dePropertyChange,
  deFieldListChange,
  deFocusControl,
  deParentScroll
};

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc };
RTL_ENUM_TYPE(TFieldKind, "fkData", "fkCalculated", "fkLookup", "fkInternalCalc")

enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };

enum TBookmarkFlag { bfCurrent, bfBOF, bfEOF, bfInserted };

enum TResyncModeFlag { rmExact, rmCenter };
using TResyncMode = TSet<TResyncModeFlag>;

enum TDataAction { daFail, daAbort, daRetry };

enum TLocateOption { loCaseInsensitive, loPartialKey };
using TLocateOptions = TSet<TLocateOption>;

enum TFilterOption { foCaseInsensitive, foNoPartialCompare };
RTL_ENUM_TYPE(TFilterOption, "foCaseInsensitive", "foNoPartialCompare")
using TFilterOptions = TSet<TFilterOption>;

enum TIndexOption { ixPrimary, ixUnique, ixDescending, ixCaseInsensitive, ixExpression };
RTL_ENUM_TYPE(TIndexOption, "ixPrimary", "ixUnique", "ixDescending", "ixCaseInsensitive", "ixExpression")
using TIndexOptions = TSet<TIndexOption>;

// Of a field definition; the framework reads faRequired and keeps the
// others as streams give them.
enum TFieldAttribute { faHiddenCol, faReadonly, faRequired, faLink, faUnNamed, faFixed };
RTL_ENUM_TYPE(TFieldAttribute, "faHiddenCol", "faReadonly", "faRequired", "faLink", "faUnNamed", "faFixed")
using TFieldAttributes = TSet<TFieldAttribute>;

enum TBlobStreamMode { bmRead, bmWrite, bmReadWrite };

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
RTL_ENUM_TYPE(TAlignment, "taLeftJustify", "taRightJustify", "taCenter")

// A record buffer: bytes whose layout the dataset decides. The framework
// allocates them (RecordBufferSize) and moves them around its ring.
using TRecordBuffer = uint8_t*;

// A bookmark's bytes; empty stands for no bookmark.
using TBookmark = std::vector<uint8_t>;

class TDataSet;
class TField;
class TDataSource;
class EDatabaseError;

// The longest chain of master sources a link check follows: further means
// a loop.
inline constexpr int MaxMasterChain = 1000;

// Events are TEvent, so that streams and scripts can bind published methods.
using TNotifyEvent = TEvent<void(TObject* sender)>;
using TDataSetNotifyEvent = TEvent<void(TDataSet* dataSet)>;
using TDataSetErrorEvent = TEvent<void(TDataSet* dataSet, EDatabaseError& e, TDataAction& action)>;
using TFilterRecordEvent = TEvent<void(TDataSet* dataSet, bool& accept)>;
