#pragma once
// The report engine's shared enumerations. Their numeric order is stored in
// layouts and archives, so values never move.

#include <cstdint>

#include "rtlTypeInfo.h"

enum TppUnitType : uint8_t { utScreenPixels, utInches, utMillimeters, utPrinterPixels, utMMThousandths };

// Which resolution a pixel conversion uses; the engine passes 1 for the
// vertical axis and anything else means horizontal.
enum TppAxis : uint8_t { axHorizontal = 0, axVertical = 1 };

enum TppDataType : uint8_t {
  dtBoolean, dtDate, dtTime, dtDateTime, dtInteger, dtSingle, dtDouble, dtExtended, dtCurrency,
  dtChar, dtString, dtVariant, dtLongint, dtBLOB, dtMemo, dtGraphic, dtNotKnown
};

enum TppTextAlignment : uint8_t { taLeftJustified, taRightJustified, taCentered, taFullJustified };

enum TppVarType : uint8_t {
  vtDate, vtDateTime, vtDocumentName, vtPrintDateTime, vtPageCount, vtPageSet, vtPageSetDesc, vtPageNo,
  vtPageNoDesc, vtTime
};

enum TppVarEventType : uint8_t {
  veTraversal, veDataPipelineTraversal, vePageStart, vePageEnd, veColumnStart, veColumnEnd, veReportStart,
  veReportEnd, veGroupStart, veGroupEnd, veGroupBeforeHeader, veGroupBeforeFooter
};

enum TppLanguageType : uint8_t {
  lgDefault, lgDanish, lgDutch, lgEnglish, lgFrench, lgGerman, lgItalian, lgPortugueseBrazil, lgPortuguese,
  lgSpanish, lgSpanishMexico, lgSwedish, lgNorwegian, lgCustom
};

RTL_ENUM_TYPE(TppUnitType, "utScreenPixels", "utInches", "utMillimeters", "utPrinterPixels", "utMMThousandths")
RTL_ENUM_TYPE(TppDataType, "dtBoolean", "dtDate", "dtTime", "dtDateTime", "dtInteger", "dtSingle", "dtDouble",
              "dtExtended", "dtCurrency", "dtChar", "dtString", "dtVariant", "dtLongint", "dtBLOB", "dtMemo",
              "dtGraphic", "dtNotKnown")
RTL_ENUM_TYPE(TppTextAlignment, "taLeftJustified", "taRightJustified", "taCentered", "taFullJustified")
RTL_ENUM_TYPE(TppVarType, "vtDate", "vtDateTime", "vtDocumentName", "vtPrintDateTime", "vtPageCount", "vtPageSet",
              "vtPageSetDesc", "vtPageNo", "vtPageNoDesc", "vtTime")
