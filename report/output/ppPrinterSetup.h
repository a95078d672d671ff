#pragma once
// A report's printer, paper, bin, orientation, margins, copies, collation
// and duplex. Sizes live in a page definition in mm-thousandths; the
// Single-valued properties show them in Units. Changes to the page go
// through a validate event first and are stored only when accepted.

#include <functional>
#include <string>

#include "ppPageDef.h"
#include "ppTypes.h"
#include "ppUnits.h"
#include "rtlFormatSettings.h"
#include "rtlTypeInfo.h"

class TppPrinterInfo;
class TStrings;

enum TppDuplexType : uint8_t { dpNone, dpHorizontal, dpVertical };
enum TPrinterOrientation : uint8_t { poPortrait, poLandscape };
RTL_ENUM_TYPE(TppDuplexType, "dpNone", "dpHorizontal", "dpVertical")
RTL_ENUM_TYPE(TPrinterOrientation, "poPortrait", "poLandscape")

// The default margins: a quarter of an inch.
constexpr int ppDefaultMargin = 6350;

class TppPrinterSetup : public TPersistent {
  RTL_DECLARE_CLASS(TppPrinterSetup, TPersistent)

  using TGetPrinterEvent = std::function<const TppPrinterResolution*()>;
  using TValidateEvent = std::function<void(TppPrinterSetup& sender, const TppPageDef& newPageDef, bool& accept)>;
  using TChangeEvent = std::function<void(TppPrinterSetup& sender)>;

  // The owner's loading and reading suspend notifications. The default
  // paper follows the decimal separator: Letter with ".", A4 otherwise.
  explicit TppPrinterSetup(TComponent* owner = nullptr, const TFormatSettings& settings = NeutralFormatSettings());

  const std::string& BinName() const { return binName; }
  void SetBinName(const std::string& value);
  bool Collation() const { return collation; }
  void SetCollation(bool value);
  int Copies() const { return copies; }
  void SetCopies(int value);
  const std::string& DocumentName() const { return documentName; }
  void SetDocumentName(const std::string& value);
  TppDuplexType Duplex() const { return duplex; }
  void SetDuplex(TppDuplexType value);
  TPrinterOrientation Orientation() const { return orientation; }
  void SetOrientation(TPrinterOrientation value);
  const std::string& PaperName() const { return paperName; }
  void SetPaperName(const std::string& value);
  const std::string& PrinterName() const { return printerName; }
  void SetPrinterName(const std::string& value);

  double MarginBottom() const { return ToUnits(pageDef.mmMarginBottom(), axVertical); }
  double MarginLeft() const { return ToUnits(pageDef.mmMarginLeft(), axHorizontal); }
  double MarginRight() const { return ToUnits(pageDef.mmMarginRight(), axHorizontal); }
  double MarginTop() const { return ToUnits(pageDef.mmMarginTop(), axVertical); }
  double PaperHeight() const { return ToUnits(pageDef.mmHeight(), axVertical); }
  double PaperWidth() const { return ToUnits(pageDef.mmWidth(), axHorizontal); }
  void SetMarginBottom(double value);
  void SetMarginLeft(double value);
  void SetMarginRight(double value);
  void SetMarginTop(double value);
  void SetPaperHeight(double value);
  void SetPaperWidth(double value);

  TppUnitType Units() const { return units; }
  // Re-reads the paper size in the new unit from the printer's list.
  void SetUnits(TppUnitType value);
  const TppPageDef& PageDef() const { return pageDef; }
  const std::string& OutputFileName() const { return outputFileName; }
  void SetOutputFileName(const std::string& value) { outputFileName = value; }
  bool DriverCopies() const;

  // The printer of PrinterName; the no-printer information when unknown.
  TppPrinterInfo& PrinterInfo() const;
  std::string PrinterDescription() const;
  void BinNames(TStrings& list) const;
  void PaperNames(TStrings& list) const;
  void PrinterNames(TStrings& list) const;

  // The Windows paper code of PaperName; 256 when the printer lacks it.
  int GetPaperCode() const;
  // The printer's paper that matches the size within a millimetre, else
  // "Custom".
  std::string PaperNameFromSize() const;
  double PrintableHeight() const { return ToUnits(pageDef.mmPrintableHeight(), axVertical); }
  double PrintableWidth() const { return ToUnits(pageDef.mmPrintableWidth(), axHorizontal); }

  void Assign(const TPersistent* source) override;
  // The sizes as "mm..." integers; "PaperSize" of old layouts is read.
  void DefineProperties(TFiler& filer) override;
  bool IsEqual(const TppPrinterSetup& other) const;
  bool SameOrientation(const TppPrinterSetup& other) const;

  // Streaming: sizes as mm-thousandths, the raw paper size read while the
  // owner is read, and the legacy paper code of old layouts.
  void SetmmPageValue(const std::string& propertyName, int value);
  void SetLegacyPaperCode(int code) { legacyPaperCode = code; }
  // Turns what was read into the page definition and paper name.
  void PaperSizeToPageDef();

  bool Active() const;
  void SetNotifications(bool on) { notificationsOn = on; }

  TGetPrinterEvent OnGetPrinter;
  TValidateEvent OnValidate;
  TChangeEvent OnPageDefChange;
  TChangeEvent OnChange;

private:
  TComponent* owner;
  std::string binName = "Default";
  bool collation = true;
  int copies = 1;
  std::string documentName;
  TppDuplexType duplex = dpNone;
  TPrinterOrientation orientation = poPortrait;
  std::string paperName = "Custom";
  std::string printerName = "Default";
  TppUnitType units = utInches;
  TppPageDef pageDef;
  std::string outputFileName;
  bool notificationsOn = true;
  int legacyPaperCode = 0;
  int rawPaperWidth = -1;
  int rawPaperHeight = -1;

  const TppPrinterResolution* Printer() const;
  double ToUnits(int mm, TppAxis axis) const;
  int ToMM(double value, TppAxis axis) const;
  bool Validate(const TppPageDef& candidate);
  // Stores the candidate when accepted and reports the change.
  bool ChangePageDef(const TppPageDef& candidate);
  void Changed();
  bool OwnerStreaming() const;
};
