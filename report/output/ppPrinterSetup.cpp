#include "ppPrinterSetup.h"

#include <array>
#include <cstdlib>

#include "ppPrinter.h"
#include "ppPrinterInfo.h"
#include "rtlReader.h"
#include "rtlStrings.h"
#include "rtlWriter.h"
#include "rtlTypeInfo.h"

const TClassInfo& TppPrinterSetup::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppPrinterSetup>("TppPrinterSetup")
          .Property("BinName", &TppPrinterSetup::BinName, &TppPrinterSetup::SetBinName)
          .Property("Collation", &TppPrinterSetup::Collation, &TppPrinterSetup::SetCollation)
          .Default(1)
          .Property("Copies", &TppPrinterSetup::Copies, &TppPrinterSetup::SetCopies)
          .Default(1)
          .Property("DocumentName", &TppPrinterSetup::DocumentName, &TppPrinterSetup::SetDocumentName)
          .Property("Duplex", &TppPrinterSetup::Duplex, &TppPrinterSetup::SetDuplex)
          .Default(dpNone)
          // The sizes in Units: read from older layouts and by scripts,
          // written as the "mm..." integers.
          .Property("MarginBottom", &TppPrinterSetup::MarginBottom, &TppPrinterSetup::SetMarginBottom)
          .Stored(false)
          .Property("MarginLeft", &TppPrinterSetup::MarginLeft, &TppPrinterSetup::SetMarginLeft)
          .Stored(false)
          .Property("MarginRight", &TppPrinterSetup::MarginRight, &TppPrinterSetup::SetMarginRight)
          .Stored(false)
          .Property("MarginTop", &TppPrinterSetup::MarginTop, &TppPrinterSetup::SetMarginTop)
          .Stored(false)
          .Property("Orientation", &TppPrinterSetup::Orientation, &TppPrinterSetup::SetOrientation)
          .Default(poPortrait)
          .Property("PaperHeight", &TppPrinterSetup::PaperHeight, &TppPrinterSetup::SetPaperHeight)
          .Stored(false)
          .Property("PaperName", &TppPrinterSetup::PaperName, &TppPrinterSetup::SetPaperName)
          .Property("PaperWidth", &TppPrinterSetup::PaperWidth, &TppPrinterSetup::SetPaperWidth)
          .Stored(false)
          .Property("PrinterName", &TppPrinterSetup::PrinterName, &TppPrinterSetup::SetPrinterName)
          .Build();
  return info;
}

namespace {

constexpr const char* pageValueNames[] = {"mmMarginBottom", "mmMarginLeft", "mmMarginRight",
                                          "mmMarginTop",    "mmPaperHeight", "mmPaperWidth"};

}  // namespace

void TppPrinterSetup::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  auto valuesOf = [](const TppPageDef& def) {
    return std::array<int, 6>{def.mmMarginBottom(), def.mmMarginLeft(), def.mmMarginRight(),
                              def.mmMarginTop(),    def.mmHeight(),     def.mmWidth()};
  };
  const std::array<int, 6> values = valuesOf(pageDef);
  // Over an ancestor setup only the sizes that differ from its own.
  const auto* ancestor = dynamic_cast<const TppPrinterSetup*>(filer.Ancestor());
  const std::array<int, 6> ancestorValues = ancestor != nullptr ? valuesOf(ancestor->pageDef) : values;
  static_assert(std::size(pageValueNames) == 6);
  for (size_t i = 0; i < std::size(pageValueNames); ++i) {
    const std::string name = pageValueNames[i];
    const int value = values[i];
    filer.DefineProperty(
        name, [this, name](TReader& reader) { SetmmPageValue(name, reader.ReadInteger()); },
        [value](TWriter& writer) { writer.WriteInteger(value); }, ancestor == nullptr || value != ancestorValues[i]);
  }
  filer.DefineProperty(
      "PaperSize", [this](TReader& reader) { legacyPaperCode = reader.ReadInteger(); }, nullptr, false);
}

namespace {

constexpr int letterWidth = 215900;
constexpr int letterHeight = 279401;
constexpr int a4Width = 210000;
constexpr int a4Height = 297000;
// Sizes within a millimetre name the same paper.
constexpr int paperMatchTolerance = 10;

std::string Resolved(const std::string& name) { return name == "Current" ? "Default" : name; }

}  // namespace

TppPrinterSetup::TppPrinterSetup(TComponent* owner, const TFormatSettings& settings) : owner(owner) {
  const bool letter = settings.DecimalSeparator == '.';
  const TppPageDef defaults(letter ? letterHeight : a4Height, letter ? letterWidth : a4Width, ppDefaultMargin,
                            ppDefaultMargin, ppDefaultMargin, ppDefaultMargin);
  pageDef.Assign(&defaults);
}

bool TppPrinterSetup::OwnerStreaming() const {
  return owner && (owner->ComponentState().Contains(csLoading) || owner->ComponentState().Contains(csReading));
}

bool TppPrinterSetup::Active() const { return notificationsOn && !OwnerStreaming(); }

const TppPrinterResolution* TppPrinterSetup::Printer() const {
  if (OnGetPrinter)
    if (const TppPrinterResolution* printer = OnGetPrinter()) return printer;
  return ppPrinter();
}

double TppPrinterSetup::ToUnits(int mm, TppAxis axis) const { return ppMMThousandthsToUnits(mm, units, axis, Printer()); }
int TppPrinterSetup::ToMM(double value, TppAxis axis) const {
  return ppUnitsToMMThousandths(value, units, axis, Printer());
}

bool TppPrinterSetup::Validate(const TppPageDef& candidate) {
  bool accept = true;
  if (OnValidate && Active()) OnValidate(*this, candidate, accept);
  return accept;
}

bool TppPrinterSetup::ChangePageDef(const TppPageDef& candidate) {
  if (!Validate(candidate)) return false;
  pageDef.Assign(&candidate);
  if (OnPageDefChange && Active()) OnPageDefChange(*this);
  return true;
}

void TppPrinterSetup::Changed() {
  if (OnChange && Active()) OnChange(*this);
}

void TppPrinterSetup::SetBinName(const std::string& value) {
  const std::string name = Resolved(value);
  if (name == binName) return;
  binName = name;
  Changed();
}

void TppPrinterSetup::SetCollation(bool value) {
  if (value == collation) return;
  collation = value;
  Changed();
}

void TppPrinterSetup::SetCopies(int value) {
  if (value < 1 || value == copies) return;
  copies = value;
  Changed();
}

void TppPrinterSetup::SetDocumentName(const std::string& value) {
  if (value == documentName) return;
  documentName = value;
  Changed();
}

void TppPrinterSetup::SetDuplex(TppDuplexType value) {
  if (value == duplex) return;
  duplex = value;
  Changed();
}

void TppPrinterSetup::SetOrientation(TPrinterOrientation value) {
  if (value == orientation) return;
  TppPageDef candidate;
  candidate.Assign(&pageDef);
  candidate.SetmmHeight(pageDef.mmWidth());
  candidate.SetmmWidth(pageDef.mmHeight());
  if (!Validate(candidate)) return;
  orientation = value;
  pageDef.Assign(&candidate);
  if (OnPageDefChange && Active()) OnPageDefChange(*this);
}

void TppPrinterSetup::SetMarginBottom(double value) {
  if (value < 0) return;
  TppPageDef c;
  c.Assign(&pageDef);
  c.SetmmMarginBottom(ToMM(value, axVertical));
  ChangePageDef(c);
}

void TppPrinterSetup::SetMarginLeft(double value) {
  if (value < 0) return;
  TppPageDef c;
  c.Assign(&pageDef);
  c.SetmmMarginLeft(ToMM(value, axHorizontal));
  ChangePageDef(c);
}

void TppPrinterSetup::SetMarginRight(double value) {
  if (value < 0) return;
  TppPageDef c;
  c.Assign(&pageDef);
  c.SetmmMarginRight(ToMM(value, axHorizontal));
  ChangePageDef(c);
}

void TppPrinterSetup::SetMarginTop(double value) {
  if (value < 0) return;
  TppPageDef c;
  c.Assign(&pageDef);
  c.SetmmMarginTop(ToMM(value, axVertical));
  ChangePageDef(c);
}

void TppPrinterSetup::SetPaperHeight(double value) {
  if (value < 0) return;
  if (OwnerStreaming()) {
    rawPaperHeight = ToMM(value, axVertical);
    return;
  }
  TppPageDef c;
  c.Assign(&pageDef);
  c.SetmmHeight(ToMM(value, axVertical));
  ChangePageDef(c);
}

void TppPrinterSetup::SetPaperWidth(double value) {
  if (value < 0) return;
  if (OwnerStreaming()) {
    rawPaperWidth = ToMM(value, axHorizontal);
    return;
  }
  TppPageDef c;
  c.Assign(&pageDef);
  c.SetmmWidth(ToMM(value, axHorizontal));
  ChangePageDef(c);
}

void TppPrinterSetup::SetmmPageValue(const std::string& propertyName, int value) {
  if (value < 0) return;
  if (propertyName == "mmMarginBottom") pageDef.SetmmMarginBottom(value);
  else if (propertyName == "mmMarginLeft") pageDef.SetmmMarginLeft(value);
  else if (propertyName == "mmMarginRight") pageDef.SetmmMarginRight(value);
  else if (propertyName == "mmMarginTop") pageDef.SetmmMarginTop(value);
  else if (propertyName == "mmPaperHeight") pageDef.SetmmHeight(value);
  else if (propertyName == "mmPaperWidth") pageDef.SetmmWidth(value);
}

void TppPrinterSetup::PaperSizeToPageDef() {
  if (rawPaperWidth >= 0) pageDef.SetmmWidth(rawPaperWidth);
  if (rawPaperHeight >= 0) pageDef.SetmmHeight(rawPaperHeight);
  rawPaperWidth = rawPaperHeight = -1;
  if (legacyPaperCode != 0) {
    // A code the printer does not list becomes "Custom", never nothing.
    paperName = PrinterInfo().Capabilities().PaperNameOfCode(legacyPaperCode);
    legacyPaperCode = 0;
  }
}

TppPrinterInfo& TppPrinterSetup::PrinterInfo() const {
  if (TppPrinterInfo* info = ppPrinters().FindPrinterInfo(printerName)) return *info;
  return ppNoPrinterInfo();
}

std::string TppPrinterSetup::PrinterDescription() const { return PrinterInfo().Description(); }
void TppPrinterSetup::BinNames(TStrings& list) const { list.Assign(PrinterInfo().Capabilities().BinNames()); }
void TppPrinterSetup::PaperNames(TStrings& list) const { list.Assign(PrinterInfo().Capabilities().PaperNames()); }
void TppPrinterSetup::PrinterNames(TStrings& list) const { ppPrinters().PrinterNames(list); }
bool TppPrinterSetup::DriverCopies() const { return PrinterInfo().Capabilities().DriverCopies(); }

std::string TppPrinterSetup::PaperNameFromSize() const {
  int width = pageDef.mmWidth() / 100;
  int height = pageDef.mmHeight() / 100;
  if (orientation == poLandscape) std::swap(width, height);
  const TppPrinterCapabilities& caps = PrinterInfo().Capabilities();
  for (int i = 0; i < caps.PaperNames().Count(); ++i) {
    const TPaperSize size = caps.PaperSize(i);
    if (std::abs(size.Width - width) <= paperMatchTolerance && std::abs(size.Height - height) <= paperMatchTolerance)
      return caps.PaperNames().Get(i);
  }
  return "Custom";
}

int TppPrinterSetup::GetPaperCode() const {
  const TppPrinterCapabilities& caps = PrinterInfo().Capabilities();
  const std::string name = paperName == "Custom" ? PaperNameFromSize() : paperName;
  const int index = caps.PaperIndex(name);
  if (index < 0 || index >= caps.PaperCodes().Count()) return DMPAPER_USER;
  return std::atoi(caps.PaperCodes().Get(index).c_str());
}

void TppPrinterSetup::SetPaperName(const std::string& value) {
  if (!Active() || value == "Custom") {
    paperName = value;
    return;
  }
  const TppPrinterCapabilities& caps = PrinterInfo().Capabilities();
  const int index = caps.PaperIndex(value);
  if (index < 0) {
    paperName = value;
    return;
  }
  if (value.find("Envelope") != std::string::npos) orientation = poLandscape;
  const TPaperSize size = caps.PaperSize(index);
  TppPageDef c;
  c.Assign(&pageDef);
  c.SetmmWidth(size.Width * 100);
  c.SetmmHeight(size.Height * 100);
  if (orientation == poLandscape) {
    c.SetmmWidth(size.Height * 100);
    c.SetmmHeight(size.Width * 100);
  }
  if (ChangePageDef(c)) paperName = value;
}

void TppPrinterSetup::SetPrinterName(const std::string& value) {
  const int oldCode = GetPaperCode();
  TppPrinterInfo* info = ppPrinters().FindPrinterInfo(Resolved(value));
  if (!info) return;
  printerName = Resolved(value);
  if (Active()) {
    const TppPrinterCapabilities& caps = PrinterInfo().Capabilities();
    const bool coded = oldCode != 0 && oldCode != DMPAPER_USER && caps.PaperCodes().IndexOf(std::to_string(oldCode)) >= 0;
    paperName = coded ? caps.PaperNameOfCode(oldCode) : PaperNameFromSize();
  }
  Changed();
}

void TppPrinterSetup::SetUnits(TppUnitType value) { units = value; }

void TppPrinterSetup::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TppPrinterSetup*>(source);
  if (!other) {
    inherited::Assign(source);
    return;
  }
  collation = other->collation;
  copies = other->copies;
  documentName = other->documentName;
  outputFileName = other->outputFileName;
  printerName = other->printerName;
  duplex = other->duplex;
  orientation = other->orientation;
  pageDef.Assign(&other->pageDef);
  paperName = other->paperName;
  binName = other->binName;
  units = other->units;
}

bool TppPrinterSetup::IsEqual(const TppPrinterSetup& other) const {
  return &PrinterInfo() == &other.PrinterInfo() && binName == other.binName && collation == other.collation &&
         copies == other.copies && DriverCopies() == other.DriverCopies() && documentName == other.documentName &&
         outputFileName == other.outputFileName && duplex == other.duplex && orientation == other.orientation &&
         pageDef.SameAs(other.pageDef);
}

bool TppPrinterSetup::SameOrientation(const TppPrinterSetup& other) const {
  return &PrinterInfo() == &other.PrinterInfo() && orientation == other.orientation;
}
