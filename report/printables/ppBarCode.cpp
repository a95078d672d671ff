#include "ppBarCode.h"

#include <algorithm>
#include <cmath>

#include "ppDataPipeline.h"
#include "ppDisplayFormat.h"
#include "ppForms.h"
#include "ppMessages.h"
#include "ppPrinter.h"
#include "ppReport.h"
#include "ppUnits.h"
#include "rtlFiler.h"
#include "rtlFloatText.h"
#include "rtlReader.h"
#include "rtlStrUtils.h"
#include "rtlWriter.h"
#include "uiDialogs.h"
#include "uiGraphicsBitmap.h"
#include "uiMeasuringCanvas.h"

namespace {

// Engine messages of refused settings and texts.
enum : int {
  msgAddOnType = 423,
  msgAddOnLength = 424,
  msgAutoSizeOff = 425,
  msgAutoSizeFontOff = 426,
  msgBarWidthLow = 427,
  msgBarWidthHigh = 428,
  msgBearerBars = 429,
  msgCode39Characters = 430,
  msgEAN13Length = 431,
  msgEAN13Check = 432,
  msgEAN13Numeric = 433,
  msgInt2of5Numeric = 434,
  msgInt2of5Odd = 435,
  msgPostnetCharacters = 436,
  msgPostnetDigits = 437,
  msgUPCALength = 438,
  msgUPCACheck = 439,
  msgUPCANumeric = 440,
  msgEAN8Length = 645,
  msgEAN8Check = 646,
  msgEAN8Numeric = 647,
  msgUPCELength = 648,
  msgUPCECheck = 649,
  msgUPCENumeric = 650,
  msgFIM = 651,
  msgCodabarCharacters = 652,
  msgCodabarStartStop = 653,
  msgCodabarInside1 = 654,
  msgCodabarInside2 = 655,
};
// MSI's refusal has no engine message of its own.
constexpr const char* msiNumeric = "MSI Barcodes must be numeric";

// Narrow bars in mm-thousandths: the limits (0.004 and 0.1 inch) and each
// symbology's own width.
constexpr double minBarInches = 0.004;
constexpr double maxBarInches = 0.1;
constexpr int minBarWidth = 102;
constexpr int maxBarWidth = 2540;
constexpr int defaultBarWidth = 254;
constexpr int defaultWideBarRatio = 76200;
// The default size: 1.53 x 0.5083 inch.
constexpr int defaultWidth = 38862;
constexpr int defaultHeight = 12911;

int TypeBarWidth(TppBarCodeType type) {
  switch (type) {
    case bcUPC_A:
    case bcUPC_E:
    case bcEAN_13:
    case bcEAN_8: return 330;  // 0.013 inch
    case bcInt2of5: return 381;  // 0.015 inch
    case bcPostnet: return 508;  // 0.02 inch
    case bcFIM: return 787;  // 0.031 inch
    default: return defaultBarWidth;  // 0.01 inch
  }
}

bool IsUPCFamily(TppBarCodeType type) {
  return type == bcUPC_A || type == bcUPC_E || type == bcEAN_13 || type == bcEAN_8;
}

bool AllDigits(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsStartStop(char c) { return (c >= 'A' && c <= 'D') || (c >= 'a' && c <= 'd'); }

// A numeric symbology of a fixed length, one less when the check digit is
// computed.
std::string FixedLengthRule(const std::string& text, size_t full, bool calc, int length, int check, int numeric) {
  if (!AllDigits(text)) return ppLoadMessage(numeric);
  if (text.size() != full && text.size() != full - 1) return ppLoadMessage(length);
  if (text.size() == full - 1 && !calc) return ppLoadMessage(check);
  return {};
}

}  // namespace

// ---------------------------------------------------------------------------
// TppCustomBarCode

const TClassInfo& TppCustomBarCode::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppCustomBarCode>("TppCustomBarCode")
          .Property("AddOnCode", &TppCustomBarCode::AddOnCode, &TppCustomBarCode::SetAddOnCode)
          .Property("AutoEncode", &TppCustomBarCode::AutoEncode, &TppCustomBarCode::SetAutoEncode)
          .Default(0)
          .Property("AutoSizeFont", &TppCustomBarCode::AutoSizeFont, &TppCustomBarCode::SetAutoSizeFont)
          .Default(1)
          .Property("BarCodeType", &TppCustomBarCode::BarCodeType, &TppCustomBarCode::SetBarCodeType)
          .Default(bcCode39)
          .Property("BarColor", &TppCustomBarCode::BarColor, &TppCustomBarCode::SetBarColor)
          .Default(clBlack)
          .Idents(ppColorIdents())
          .Property("BarWidth", &TppCustomBarCode::BarWidth, &TppCustomBarCode::SetBarWidth)
          .Stored(false)
          .Property("BearerBars", &TppCustomBarCode::BearerBars, &TppCustomBarCode::SetBearerBars)
          .Default(0)
          .Property("CalcCheckDigit", &TppCustomBarCode::CalcCheckDigit, &TppCustomBarCode::SetCalcCheckDigit)
          .Default(1)
          .Property("mmBarWidth", &TppCustomBarCode::mmBarWidth, &TppCustomBarCode::SetmmBarWidth)
          .Default(defaultBarWidth)
          .Property("mmWideBarRatio", &TppCustomBarCode::mmWideBarRatio, &TppCustomBarCode::SetmmWideBarRatio)
          .Default(defaultWideBarRatio)
          .Property("Orientation", &TppCustomBarCode::Orientation, &TppCustomBarCode::SetOrientation)
          .Default(orLeftToRight)
          .Property("PrintHumanReadable", &TppCustomBarCode::PrintHumanReadable,
                    &TppCustomBarCode::SetPrintHumanReadable)
          .Default(1)
          .Property("WideBarRatio", &TppCustomBarCode::WideBarRatio, &TppCustomBarCode::SetWideBarRatio)
          .Stored(false)
          .Build();
  return info;
}

TppCustomBarCode::TppCustomBarCode(TComponent* owner) : TppCustomComponent(owner) {
  SetDrawCommandClass(&TppDrawBarCode::StaticClassType());
  BeginUpdate();
  TppPrintable::SetAutoSize(true);
  Font()->SetName("Courier New");
  Font()->SetColor(barColor);
  SetBounds(0, 0, defaultWidth, defaultHeight);
  --updating;
}

bool TppCustomBarCode::Loading() const {
  const TComponentState state = ComponentState();
  return state.Contains(csLoading) || state.Contains(csReading);
}

void TppCustomBarCode::Refuse(const std::string& text) const {
  const TComponentState state = ComponentState();
  if (Loading() || state.Contains(csDestroying) || ReportIsPrinting()) return;
  ShowMessageBox({text, {}, mtInformation});
}

void TppCustomBarCode::EndUpdate() {
  if (updating > 0 && --updating == 0) Changed();
}

void TppCustomBarCode::Changed(bool reportChange) {
  if (updating > 0) return;
  AdjustSize();
  if (reportChange) PropertyChange();
}

void TppCustomBarCode::SetAddOnCode(const std::string& value) {
  if (value == addOnCode) return;
  // While loading, the type may come later: stored values are taken.
  if (!Loading() && !value.empty() && !IsUPCFamily(barCodeType)) return Refuse(ppLoadMessage(msgAddOnType));
  // A supplement of other digits would print nothing at all.
  if ((value.size() != 0 && value.size() != 2 && value.size() != 5) || !AllDigits(value))
    return Refuse(ppLoadMessage(msgAddOnLength));
  addOnCode = value;
  Changed();
}

void TppCustomBarCode::SetAutoEncode(bool value) {
  if (value == autoEncode) return;
  if (value && !Loading() && barCodeType != bcCode128) return;
  autoEncode = value;
  Changed();
}

void TppCustomBarCode::SetAutoSize(bool value) {
  if (value == AutoSize()) return;
  if (!Loading() && !value && (barCodeType == bcPostnet || barCodeType == bcFIM))
    return Refuse(ppLoadMessage(msgAutoSizeOff));
  TppPrintable::SetAutoSize(value);
}

void TppCustomBarCode::SetAutoSizeFont(bool value) {
  if (value == autoSizeFont) return;
  if (!Loading() && !value && IsUPCFamily(barCodeType)) return Refuse(ppLoadMessage(msgAutoSizeFontOff));
  autoSizeFont = value;
  Changed();
}

void TppCustomBarCode::SetBarCodeType(TppBarCodeType value) {
  if (value == barCodeType) return;
  BeginUpdate();
  barCodeType = value;
  if (!Loading()) {
    // The settings a symbology needs come with it.
    if (value == bcPostnet || value == bcFIM) {
      TppPrintable::SetAutoSize(true);
      printHumanReadable = false;
    }
    if (IsUPCFamily(value)) autoSizeFont = true;
    if (value == bcCode128) autoEncode = true;
    barWidth = TypeBarWidth(value);
    if (auto* fixed = dynamic_cast<TppBarCode*>(this))
      fixed->SetData(SampleData(value, calcCheckDigit, TSampleOwner::BarCode));
    else
      Validate(BarCodeText());
  }
  EndUpdate();
}

void TppCustomBarCode::SetBarColor(int value) {
  if (value == barColor) return;
  barColor = value;
  Font()->SetColor(value);
  Changed();
}

double TppCustomBarCode::BarWidth() const { return ppMMThousandthsToUnits(barWidth, Units(), axHorizontal); }

void TppCustomBarCode::SetBarWidth(double value) { SetmmBarWidth(ppUnitsToMMThousandths(value, Units(), axHorizontal)); }

void TppCustomBarCode::SetmmBarWidth(int value) {
  if (value == barWidth) return;
  if (!Loading()) {
    // The limit in the component's units, as a user would write it.
    const auto limit = [this](double inches) {
      const double perInch = ppMMThousandthsToUnits(25400, Units(), axHorizontal);
      return FloatToStrF(inches * perInch, ffGeneral, 4, 0);
    };
    if (value < minBarWidth) return Refuse(ppFormatMessage(msgBarWidthLow, {limit(minBarInches)}));
    if (value > maxBarWidth) return Refuse(ppFormatMessage(msgBarWidthHigh, {limit(maxBarInches)}));
  }
  barWidth = value;
  Changed();
}

void TppCustomBarCode::SetBearerBars(bool value) {
  if (value == bearerBars) return;
  if (!Loading() && value && barCodeType != bcInt2of5) return Refuse(ppLoadMessage(msgBearerBars));
  bearerBars = value;
  Changed();
}

void TppCustomBarCode::SetCalcCheckDigit(bool value) {
  if (value == calcCheckDigit) return;
  calcCheckDigit = value;
  if (!Loading()) Validate(BarCodeText());
  Changed();
}

void TppCustomBarCode::SetOrientation(TppBarCodeOrientation value) {
  if (value == orientation) return;
  orientation = value;
  Changed();
}

void TppCustomBarCode::SetPrintHumanReadable(bool value) {
  if (value == printHumanReadable) return;
  printHumanReadable = value;
  Changed();
}

void TppCustomBarCode::SetWideBarRatio(double value) {
  if (!(value > 0)) return;
  SetmmWideBarRatio(static_cast<int>(std::lround(value * 25400)));
}

void TppCustomBarCode::SetmmWideBarRatio(int value) {
  if (value == wideBarRatio || value <= 0) return;
  wideBarRatio = value;
  Changed();
}

std::string TppCustomBarCode::SampleData(TppBarCodeType type, bool calcCheckDigit, TSampleOwner owner) {
  switch (type) {
    case bcUPC_A: return calcCheckDigit ? "01234567890" : "012345678905";
    // "012345" is UPC-A 00123400005, whose check digit is 7.
    case bcUPC_E: return calcCheckDigit ? "012345" : "0123457";
    case bcEAN_13: return "0012345678905";
    case bcEAN_8: return "20123451";
    case bcInt2of5: return calcCheckDigit ? "0123456789" : "01234567";
    case bcCode128:
      return std::string(1, static_cast<char>(ppCode128StartC)) + "1234" +
             std::string(1, static_cast<char>(ppCode128CodeB)) + " abcd";
    case bcCode39: return owner == TSampleOwner::DataAwareBarCode ? "DBBarCode" : "BarCode";
    case bcPostnet: return "012345678";
    case bcFIM: return "A";
    case bcCodabar: return "A01234B";
    case bcMSI: return "0139725";
  }
  return {};
}

std::string TppCustomBarCode::BrokenRule(const std::string& text) const {
  switch (barCodeType) {
    case bcUPC_A: return FixedLengthRule(text, 12, calcCheckDigit, msgUPCALength, msgUPCACheck, msgUPCANumeric);
    case bcUPC_E: return FixedLengthRule(text, 7, calcCheckDigit, msgUPCELength, msgUPCECheck, msgUPCENumeric);
    case bcEAN_13: return FixedLengthRule(text, 13, calcCheckDigit, msgEAN13Length, msgEAN13Check, msgEAN13Numeric);
    case bcEAN_8: return FixedLengthRule(text, 8, calcCheckDigit, msgEAN8Length, msgEAN8Check, msgEAN8Numeric);
    case bcInt2of5:
      if (!AllDigits(text)) return ppLoadMessage(msgInt2of5Numeric);
      if (text.size() % 2 == 1 && !calcCheckDigit) return ppLoadMessage(msgInt2of5Odd);
      return {};
    case bcCode128: return {};
    case bcCode39:
      for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
              std::string(" $%+-./").find(c) != std::string::npos))
          return ppLoadMessage(msgCode39Characters);
      return {};
    case bcPostnet: {
      if (text.find_first_not_of("0123456789-") != std::string::npos) return ppLoadMessage(msgPostnetCharacters);
      const auto digits = std::count_if(text.begin(), text.end(), [](char c) { return c != '-'; });
      if (digits != 5 && digits != 9 && digits != 11) return ppLoadMessage(msgPostnetDigits);
      return {};
    }
    case bcFIM:
      if (text.size() != 1 || std::string("ABCabc").find(text[0]) == std::string::npos) return ppLoadMessage(msgFIM);
      return {};
    case bcCodabar: {
      if (text.find_first_not_of("$+-./0123456789:ABCDabcd") != std::string::npos)
        return ppLoadMessage(msgCodabarCharacters);
      if (text.size() < 2 || !IsStartStop(text.front()) || !IsStartStop(text.back()))
        return ppLoadMessage(msgCodabarStartStop);
      if (std::any_of(text.begin() + 1, text.end() - 1, IsStartStop))
        return ppLoadMessage(msgCodabarInside1) + " " + ppLoadMessage(msgCodabarInside2);
      return {};
    }
    case bcMSI:
      if (!AllDigits(text)) return msiNumeric;
      return {};
  }
  return {};
}

bool TppCustomBarCode::Validate(const std::string& text) {
  const std::string broken = text.empty() ? std::string() : BrokenRule(text);
  codeValid = broken.empty();
  if (!codeValid) Refuse(broken);
  return codeValid;
}

void TppCustomBarCode::FillCommand(TppDrawBarCode& command, const std::string& text) const {
  command.Alignment = Alignment();
  command.AddOnCode = addOnCode;
  command.AutoEncode = autoEncode;
  command.AutoSize = AutoSize();
  command.AutoSizeFont = autoSizeFont;
  command.BarCodeType = barCodeType;
  command.BarColor = barColor;
  command.BarWidth = barWidth;
  command.BearerBars = bearerBars;
  command.CalcCheckDigit = calcCheckDigit;
  command.Color = Color();
  command.Data = text;
  command.SetFont(Font());
  command.Orientation = orientation;
  command.PrintHumanReadable = printHumanReadable;
  command.Transparent = Transparent();
  command.WideBarRatio = static_cast<float>(WideBarRatio());
}

void TppCustomBarCode::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  auto* barCode = dynamic_cast<TppDrawBarCode*>(command);
  if (!barCode) return;
  const std::string text = BarCodeText();
  FillCommand(*barCode, text);
  barCode->CodeOK = Validate(text);
}

void TppCustomBarCode::AdjustSize() {
  const TComponentState state = ComponentState();
  if (Loading() || state.Contains(csDestroying) || updating > 0 || !AutoSize() || ReportIsPrinting()) return;
  // Measured as a printer prints it (at the resolution printers are taken
  // to have when they name none).
  const int ppi = ppFallbackResolution;
  TObjectPtr<TppDrawBarCode> command(new TppDrawBarCode(nullptr));
  FillCommand(*command, BarCodeText());
  command->CodeOK = codeValid;
  command->SetSilent(true);
  TMeasuringCanvas canvas(ppi);
  command->Measure(canvas);
  if (!command->CodeOK || command->ModuleRow().empty()) return;
  const int along = ppRound(command->SymbolWidth() * 25400.0 / ppi);
  const int across = ppRound(command->SymbolHeight() * 25400.0 / ppi);
  const bool vertical = orientation == orTopToBottom || orientation == orBottomToTop;
  SetBounds(mmLeft(), mmTop(), vertical ? across : along, vertical ? along : across);
}

std::vector<TppDesignMenuItem> TppCustomBarCode::DesignMenuItems() const {
  const int order = ppComponentMenuOrder;
  return {{order, "AutoSize", 226},          {order, "AutoSizeFont", 441},      {order, "Configure", 443},
          {order, "PrintHumanReadable", 442}, {order, "ReprintOnOverFlow", 238}, {order, "ShiftWithParent", 240},
          {order, "Transparent", 246}};
}

bool TppCustomBarCode::DesignCommand(const std::string& name) {
  if (name != "Configure") return false;
  std::unique_ptr<TppCustomBarCodeDialog> dialog = ppCreateForm<TppCustomBarCodeDialog>();
  if (!dialog) return false;
  TppCustomReport* report = GetReport();
  dialog->SetReport(report);
  dialog->SetLanguageIndex(report ? report->LanguageIndex() : 0);
  dialog->BarCodeType = barCodeType;
  dialog->Data = BarCodeText();
  dialog->CalcCheckDigit = calcCheckDigit;
  dialog->Orientation = orientation;
  dialog->BarWidth = barWidth;
  dialog->WideBarRatio = WideBarRatio();
  dialog->AddOnCode = addOnCode;
  dialog->BearerBars = bearerBars;
  dialog->AutoEncode = autoEncode;
  if (dialog->ShowModal() != ppmrOK) return false;
  BeginUpdate();
  SetCalcCheckDigit(dialog->CalcCheckDigit);
  SetBarCodeType(static_cast<TppBarCodeType>(std::clamp(dialog->BarCodeType, 0, static_cast<int>(bcMSI))));
  SetOrientation(static_cast<TppBarCodeOrientation>(std::clamp(dialog->Orientation, 0, static_cast<int>(orBottomToTop))));
  SetmmBarWidth(dialog->BarWidth);
  SetWideBarRatio(dialog->WideBarRatio);
  SetAddOnCode(dialog->AddOnCode);
  SetBearerBars(dialog->BearerBars);
  SetAutoEncode(dialog->AutoEncode);
  EndUpdate();
  return true;
}

void TppCustomBarCode::PaintDesignView(TCanvas& canvas, const TRect& area) {
  if (updating > 0 || area.Width() <= 0 || area.Height() <= 0) return;
  TObjectPtr<TppDrawBarCode> command(new TppDrawBarCode(nullptr));
  FillCommand(*command, BarCodeText());
  command->CodeOK = codeValid;
  command->SetWidth(mmWidth());
  command->SetHeight(mmHeight());
  // Validation told of a broken rule once; a repaint does not again.
  command->SetSilent(true);
  const int ppi = canvas.PixelsPerInch();
  TBitmap picture(ppi);
  command->Measure(picture.Canvas());
  const bool vertical = orientation == orTopToBottom || orientation == orBottomToTop;
  picture.SetSize(std::max(1, vertical ? command->SymbolHeight() : command->SymbolWidth()),
                  std::max(1, vertical ? command->SymbolWidth() : command->SymbolHeight()));
  command->DrawSymbol(picture.Canvas(), 0, 0, TPoint{ppi, ppi}, true);
  canvas.StretchDraw(area, picture);
  if (codeValid) return;
  const TPenStyle penStyle = canvas.Pen().Style();
  const TBrushStyle brushStyle = canvas.Brush().Style();
  canvas.Pen().SetStyle(psDash);
  canvas.Brush().SetStyle(bsClear);
  canvas.Rectangle(area);
  canvas.Pen().SetStyle(penStyle);
  canvas.Brush().SetStyle(brushStyle);
}

void TppCustomBarCode::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  // AutoSize is on unless switched off; only off needs storing.
  filer.DefineProperty(
      "AutoSize", [this](TReader& reader) { SetAutoSize(reader.ReadBoolean()); },
      [](TWriter& writer) { writer.WriteBoolean(false); }, !AutoSize());
}

// ---------------------------------------------------------------------------
// TppBarCode

const TClassInfo& TppBarCode::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppBarCode>("TppBarCode")
                                     .Property("Data", &TppBarCode::Data, &TppBarCode::SetData)
                                     .Build();
  return info;
}

TppBarCode::TppBarCode(TComponent* owner) : TppCustomBarCode(owner) { Validate(data); }

void TppBarCode::SetData(const std::string& value) {
  if (value == data) return;
  data = value;
  if (!Loading()) Validate(data);
  Changed();
}

// ---------------------------------------------------------------------------
// TppDBBarCode

RTL_DEFINE_CLASS(TppDBBarCode)

TppDBBarCode::TppDBBarCode(TComponent* owner) : TppCustomBarCode(owner) {}

std::string TppDBBarCode::BarCodeText() const {
  if (!DataFieldReady())
    return ReportIsPrinting() ? std::string()
                              : SampleData(BarCodeType(), CalcCheckDigit(), TSampleOwner::DataAwareBarCode);
  try {
    const Variant value = DataPipeline()->GetFieldValue(DataField());
    if (value.IsNull()) return {};
    return ppFormatDisplayValue("", DataPipeline()->GetFieldDataType(DataField()), value, NeutralFormatSettings());
  } catch (const Exception&) {
    return {};
  }
}

void ppRegisterBarCodeClasses() {
  RegisterClass(TppBarCode::StaticClassType());
  RegisterClass(TppDBBarCode::StaticClassType());
}
