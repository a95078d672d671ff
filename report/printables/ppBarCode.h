#pragma once
// Bar-code components: the settings of a symbol and the rules its data
// must keep, checked as they are set; a fixed text (TppBarCode) or a
// pipeline field (TppDBBarCode) as its data. The draw command encodes and
// paints; with AutoSize the component takes the size the command measures
// on the report's printer.

#include <string>
#include <vector>

#include "ppDesignMenu.h"
#include "ppDrawBarCode.h"
#include "ppPrintable.h"

class TppCustomBarCode : public TppCustomComponent, public TppDesignMenuSource {
  RTL_DECLARE_CLASS(TppCustomBarCode, TppCustomComponent)

  explicit TppCustomBarCode(TComponent* owner);

  const std::string& AddOnCode() const { return addOnCode; }
  void SetAddOnCode(const std::string& value);
  bool AutoEncode() const { return autoEncode; }
  void SetAutoEncode(bool value);
  void SetAutoSize(bool value) override;
  bool AutoSizeFont() const { return autoSizeFont; }
  void SetAutoSizeFont(bool value);
  TppBarCodeType BarCodeType() const { return barCodeType; }
  void SetBarCodeType(TppBarCodeType value);
  int BarColor() const { return barColor; }
  void SetBarColor(int value);
  // The narrow bar in the component's units; stored as mmBarWidth.
  double BarWidth() const;
  void SetBarWidth(double value);
  int mmBarWidth() const { return barWidth; }
  void SetmmBarWidth(int value);
  bool BearerBars() const { return bearerBars; }
  void SetBearerBars(bool value);
  bool CalcCheckDigit() const { return calcCheckDigit; }
  void SetCalcCheckDigit(bool value);
  TppBarCodeOrientation Orientation() const { return orientation; }
  void SetOrientation(TppBarCodeOrientation value);
  bool PrintHumanReadable() const { return printHumanReadable; }
  void SetPrintHumanReadable(bool value);
  // Wide elements in narrow widths; stored as mmWideBarRatio, the ratio
  // times 25400.
  double WideBarRatio() const { return wideBarRatio / 25400.0; }
  void SetWideBarRatio(double value);
  int mmWideBarRatio() const { return wideBarRatio; }
  void SetmmWideBarRatio(int value);

  // Changes inside an update bracket size the component once, at its end.
  void BeginUpdate() { ++updating; }
  void EndUpdate();
  // Whether the last text checked keeps the rules of the symbology.
  bool CodeOK() const { return codeValid; }
  // The text the symbol encodes.
  virtual std::string BarCodeText() const = 0;
  // Checks a text against the rules of the symbology and the settings; a
  // broken rule is shown (outside loading and printing) and clears
  // CodeOK.
  bool Validate(const std::string& text);
  // The sample text of a symbology; a data-aware bar code names itself in
  // the samples that carry a name.
  enum class TSampleOwner : uint8_t { BarCode, DataAwareBarCode };
  static std::string SampleData(TppBarCodeType type, bool calcCheckDigit, TSampleOwner owner);

  void AdjustSize() override;
  void DefineProperties(TFiler& filer) override;

  std::vector<TppDesignMenuItem> DesignMenuItems() const override;
  // "Configure": the bar-code dialog registered for the program (none is
  // by default) shows the settings; on OK they change in one update.
  bool DesignCommand(const std::string& name) override;
  // The symbol as the screen shows it, scaled over area; a dashed frame
  // round area when the data breaks the symbology's rules.
  void PaintDesignView(TCanvas& canvas, const TRect& area) override;

protected:
  void PropertiesToDrawCommand(TppDrawCommand* command) override;
  bool Loading() const;
  // A refused setting or text: an information box, unless loading, being
  // destroyed or printing.
  void Refuse(const std::string& text) const;
  // Sizes the component and reports the change (data-aware components do
  // not report changes of their data).
  void Changed(bool reportChange = true);
  void FillCommand(TppDrawBarCode& command, const std::string& text) const;

private:
  std::string addOnCode;
  bool autoEncode = false;
  bool autoSizeFont = true;
  TppBarCodeType barCodeType = bcCode39;
  int barColor = clBlack;
  int barWidth = 254;
  bool bearerBars = false;
  bool calcCheckDigit = true;
  TppBarCodeOrientation orientation = orLeftToRight;
  bool printHumanReadable = true;
  int wideBarRatio = 76200;
  int updating = 0;
  bool codeValid = true;

  // The rule the text breaks (empty: none).
  std::string BrokenRule(const std::string& text) const;
};

class TppBarCode : public TppCustomBarCode {
  RTL_DECLARE_CLASS(TppBarCode, TppCustomBarCode)

  explicit TppBarCode(TComponent* owner);

  const std::string& Data() const { return data; }
  void SetData(const std::string& value);
  std::string BarCodeText() const override { return data; }

private:
  std::string data = "Barcode";
};

class TppDBBarCode : public TppCustomBarCode {
  RTL_DECLARE_CLASS(TppDBBarCode, TppCustomBarCode)

  explicit TppDBBarCode(TComponent* owner);

  bool IsDataAware() const override { return true; }
  // The field's value as text; without a field, nothing while printing
  // and the symbology's sample otherwise.
  std::string BarCodeText() const override;
};

// Registers the bar-code classes with the class registry (for layouts).
void ppRegisterBarCodeClasses();
