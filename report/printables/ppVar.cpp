#include "ppVar.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "ppBands.h"
#include "ppDataPipeline.h"
#include "ppDisplayFormat.h"
#include "ppEngine.h"
#include "ppGroup.h"
#include "ppPage.h"
#include "ppPrinterSetup.h"
#include "ppReport.h"
#include "ppUtils.h"
#include "rtlAssert.h"
#include "rtlFormat.h"

// ---------------------------------------------------------------------------
// TppCustomVariable

RTL_DEFINE_CLASS(TppCustomVariable)

TppCustomVariable::TppCustomVariable(TComponent* owner) : TppCustomText(owner) {}

void TppCustomVariable::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  command->SetDataType(ValueDataType());
}

// ---------------------------------------------------------------------------
// TppSystemVariable

const TClassInfo& TppSystemVariable::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppSystemVariable>("TppSystemVariable")
          .Property("VarType", &TppSystemVariable::VarType, &TppSystemVariable::SetVarType)
          .Default(vtDate)
          .Build();
  return info;
}

TppSystemVariable::TppSystemVariable(TComponent* owner) : TppCustomVariable(owner) {
  SetDrawCommandClass(&TppDrawVar::StaticClassType());
}

void TppSystemVariable::SetVarType(TppVarType value) {
  if (value == varType) return;
  varType = value;
  if ((value == vtPageSet || value == vtPageSetDesc) && !Loading())
    if (TppCustomReport* report = GetReport()) report->SetPassSetting(psTwoPass);
  PropertyChange();
  LayoutChanged();
}

TppDataType TppSystemVariable::ValueDataType() const {
  switch (varType) {
    case vtDate: return dtDate;
    case vtDateTime:
    case vtPrintDateTime: return dtDateTime;
    case vtPageCount:
    case vtPageNo: return dtInteger;
    case vtTime: return dtTime;
    default: return dtString;
  }
}

std::string TppSystemVariable::TextSource() const {
  TppCustomReport* report = GetReport();
  const bool printing = ReportIsPrinting() && report;
  TppPageInfo info;
  if (printing) {
    const TppPage* page = report->Engine().Page();
    info.PageNo = page && page->PageNo > 0 ? page->PageNo : report->AbsolutePageNo();
    info.PageCount = page && page->PageCount > 0 ? page->PageCount : report->AbsolutePageCount();
    info.PrintDateTime = report->Engine().PrintDateTime();
  }
  if (varType == vtDocumentName) return report ? report->PrinterSetup()->DocumentName() : std::string();
  std::string text = ppSystemVariableText(varType, printing ? &info : nullptr, NeutralFormatSettings());
  // Dates, times and numbers take the display format when one is given.
  if (!DisplayFormat().empty() || OnFormat) {
    switch (varType) {
      case vtDate: return FormatValue(dtDate, Variant::FromDate(Date()));
      case vtDateTime: return FormatValue(dtDateTime, Variant::FromDate(Now()));
      case vtPrintDateTime: return FormatValue(dtDateTime, Variant::FromDate(printing ? info.PrintDateTime : Now()));
      case vtTime: return FormatValue(dtTime, Variant::FromDate(Time()));
      case vtPageCount: return FormatValue(dtInteger, Variant(info.PageCount));
      case vtPageNo: return FormatValue(dtInteger, Variant(info.PageNo));
      default: break;
    }
  }
  return text;
}

void TppSystemVariable::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  if (auto* var = dynamic_cast<TppDrawVar*>(command)) var->VarType = varType;
}

// ---------------------------------------------------------------------------
// TppVariable

const TClassInfo& TppVariable::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppVariable>("TppVariable")
                                     .Property("DataType", &TppVariable::DataType, &TppVariable::SetDataType)
                                     .Default(dtString)
                                     .Property("CalcType", &TppVariable::CalcType, &TppVariable::SetCalcType)
                                     .Default(veTraversal)
                                     .Property("ResetType", &TppVariable::ResetType, &TppVariable::SetResetType)
                                     .Default(veReportEnd)
                                     .Property("CalcOrder", &TppVariable::CalcOrder, &TppVariable::SetCalcOrder)
                                     .Default(-1)
                                     .Property("LookAhead", &TppVariable::LookAhead, &TppVariable::SetLookAhead)
                                     .Default(0)
                                     .Property("CalcComponent", &TppVariable::CalcComponent,
                                               &TppVariable::SetCalcComponent)
                                     .Property("ResetComponent", &TppVariable::ResetComponent,
                                               &TppVariable::SetResetComponent)
                                     .Event("OnCalc", &TppVariable::OnCalc)
                                     .Event("OnReset", &TppVariable::OnReset)
                                     .Build();
  return info;
}

TppVariable::TppVariable(TComponent* owner) : TppCustomVariable(owner) {
  SetDrawCommandClass(&TppDrawVariable::StaticClassType());
  SetCacheRecordSize(StateSize);
  ClearValue();
}

TppVariable::~TppVariable() {
  Listen(calcSender, nullptr);
  Listen(resetSender, nullptr);
}

void TppVariable::ClearValue() {
  booleanValue = false;
  charValue = 0;
  currencyValue = Currency{};
  dateTimeValue = Now();
  doubleValue = 0;
  extendedValue = 0;
  integerValue = 0;
  singleValue = 0;
  stringValue.clear();
}

void TppVariable::SetDataType(TppDataType value) {
  // Each type keeps its field: changing the type changes what Value reads.
  if (value <= dtString) dataType = value;
  PropertyChange();
  LayoutChanged();
}

Variant TppVariable::Value() const {
  switch (dataType) {
    case dtBoolean: return Variant(booleanValue);
    case dtDate:
    case dtTime:
    case dtDateTime: return Variant::FromDate(dateTimeValue);
    case dtInteger: return Variant(integerValue);
    case dtSingle: return Variant(static_cast<double>(singleValue));
    case dtDouble: return Variant(doubleValue);
    case dtExtended: return Variant(static_cast<double>(extendedValue));
    case dtCurrency: return Variant(currencyValue);
    case dtChar: return Variant(charValue ? std::string(1, charValue) : std::string());
    case dtString: return Variant(stringValue);
    default: return Variant();
  }
}

void TppVariable::StoreValue(const Variant& v) {
  switch (dataType) {
    case dtBoolean: booleanValue = v.AsBoolean(); break;
    case dtDate:
    case dtTime:
    case dtDateTime: dateTimeValue = v.AsDateTime(); break;
    case dtInteger: integerValue = v.AsInteger(); break;
    case dtSingle: singleValue = static_cast<float>(v.AsFloat()); break;
    case dtDouble: doubleValue = v.AsFloat(); break;
    case dtExtended: extendedValue = v.AsFloat(); break;
    case dtCurrency: currencyValue = v.AsCurrency(); break;
    case dtChar: {
      const std::string text = v.AsString();
      charValue = text.empty() ? 0 : text[0];
      break;
    }
    case dtString: stringValue = v.AsString(); break;
    default: break;
  }
}

void TppVariable::SetValue(const Variant& newValue) {
  if (VarIsClear(newValue)) return;
  StoreValue(newValue);
  LayoutChanged();
}

void TppVariable::TakeType(TppDataType type) {
  dataType = type;
  PropertyChange();
  LayoutChanged();
}

void TppVariable::SetAsBoolean(bool v) {
  booleanValue = v;
  TakeType(dtBoolean);
}

void TppVariable::SetAsChar(char v) {
  charValue = v;
  TakeType(dtChar);
}

void TppVariable::SetAsCurrency(Currency v) {
  currencyValue = v;
  TakeType(dtCurrency);
}

void TppVariable::SetAsDateTime(TDateTime v) {
  dateTimeValue = v;
  TakeType(dtDateTime);
}

void TppVariable::SetAsDate(TDateTime v) {
  dateTimeValue = v;
  TakeType(dtDate);
}

void TppVariable::SetAsTime(TDateTime v) {
  dateTimeValue = v;
  TakeType(dtTime);
}

void TppVariable::SetAsDouble(double v) {
  doubleValue = v;
  TakeType(dtDouble);
}

void TppVariable::SetAsExtended(long double v) {
  extendedValue = v;
  TakeType(dtExtended);
}

void TppVariable::SetAsInteger(int v) {
  integerValue = v;
  dataType = dtInteger;
  PropertyChange();
  // Counting while printing would lay the report out anew on every record.
  if (!ReportIsPrinting()) LayoutChanged();
}

void TppVariable::SetAsSingle(float v) {
  singleValue = v;
  TakeType(dtSingle);
}

void TppVariable::SetAsString(const std::string& v) {
  stringValue = v;
  TakeType(dtString);
}

void TppVariable::SetCalcType(TppVarEventType v) {
  calcType = v;
  ListenToMoments();
  PropertyChange();
  LayoutChanged();
}

void TppVariable::SetResetType(TppVarEventType v) {
  resetType = v;
  ListenToMoments();
  PropertyChange();
  LayoutChanged();
}

void TppVariable::ListenToMoments() {
  ClearEventSet();
  SetListensTo(ppVarEventToEventID(calcType), true);
  SetListensTo(ppVarEventToEventID(resetType), true);
}

void TppVariable::SetCalcComponent(TppCommunicator* v) {
  if (v == calcComponent) return;
  if (calcComponent && calcComponent != resetComponent) RemoveNotify(calcComponent);
  calcComponent = v;
  if (v) AddNotify(v);
}

void TppVariable::SetResetComponent(TppCommunicator* v) {
  if (v == resetComponent) return;
  if (resetComponent && resetComponent != calcComponent) RemoveNotify(resetComponent);
  resetComponent = v;
  if (v) AddNotify(v);
}

void TppVariable::Notify(TppCommunicator* sender, int operation) {
  inherited::Notify(sender, operation);
  if (operation != ppopRemove) return;
  if (sender == calcComponent) calcComponent = nullptr;
  if (sender == resetComponent) resetComponent = nullptr;
  if (sender == calcSender) calcSender = nullptr;
  if (sender == resetSender) resetSender = nullptr;
}

void TppVariable::SetLookAhead(bool v) {
  if (v == lookAhead || ReportIsPrinting()) return;
  lookAhead = v;
  if (v && !Loading())
    if (TppCustomReport* report = GetReport()) report->SetPassSetting(psTwoPass);
  PropertyChange();
  LayoutChanged();
}

namespace {
std::vector<TppVariable*> BandVariableList(const TppBand* band) {
  std::vector<TppVariable*> list;
  for (int i = 0; band && i < band->ObjectCount(); ++i)
    if (auto* variable = dynamic_cast<TppVariable*>(band->Objects(i))) list.push_back(variable);
  return list;
}
}  // namespace

std::vector<TppVariable*> TppVariable::BandVariables(const TppBand* band) {
  // The stored order ranks the band's variables; ties keep band order.
  std::vector<TppVariable*> list = BandVariableList(band);
  std::stable_sort(list.begin(), list.end(), [](const TppVariable* a, const TppVariable* b) {
    const int left = a->calcOrder < 0 ? INT32_MAX : a->calcOrder;
    const int right = b->calcOrder < 0 ? INT32_MAX : b->calcOrder;
    return left < right;
  });
  return list;
}

int TppVariable::CalcOrder() const {
  if (!Band()) return calcOrder;
  const std::vector<TppVariable*> list = BandVariables(Band());
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TppVariable::SetCalcOrder(int value) {
  if (Loading() || !Band()) {
    calcOrder = value;
    return;
  }
  MoveToCalcOrder(value);
  LayoutChanged();
}

void TppVariable::MoveToCalcOrder(int n) {
  std::vector<TppVariable*> list = BandVariables(Band());
  if (list.empty()) return;
  n = std::clamp(n, 0, static_cast<int>(list.size()) - 1);
  const auto here = std::find(list.begin(), list.end(), this);
  if (here != list.end()) list.erase(here);
  list.insert(list.begin() + n, this);
  // Numbered anew, so that no two of the band's variables share a place.
  for (size_t i = 0; i < list.size(); ++i) list[i]->calcOrder = static_cast<int>(i);
}

std::string TppVariable::GetSortKey() const {
  return (Band() ? Band()->GetSortKey() : std::string()) + Format("%8d", {CalcOrder()});
}

bool TppVariable::LookAheadActive() const {
  const TppCustomReport* report = GetReport();
  return lookAhead && report && report->PassSetting() == psTwoPass;
}

TppCommunicator* TppVariable::SenderFor(TppVarEventType type, TppCommunicator* userComponent) const {
  TppCustomReport* report = GetReport();
  switch (type) {
    case veDataPipelineTraversal:
    case veGroupStart:
    case veGroupEnd:
    case veGroupBeforeHeader:
    case veGroupBeforeFooter: return userComponent;
    case vePageStart:
    case vePageEnd:
    case veColumnStart:
    case veColumnEnd: return report;
    default: return report ? &report->Engine() : nullptr;
  }
}

void TppVariable::Listen(TppCommunicator*& current, TppCommunicator* sender) {
  if (current == sender) return;
  TppCommunicator* old = current;
  current = sender;
  // The other role may still hear the old sender.
  if (old && old != calcSender && old != resetSender) old->RemoveEventNotify(this);
  if (sender) sender->AddEventNotify(this);
}

void TppVariable::InitGeneration() {
  // Heard anew, so that the senders place the variable by its order now.
  for (TppCommunicator* sender : {calcSender, resetSender})
    if (sender) sender->RemoveEventNotify(this);
  calcSender = resetSender = nullptr;
  pendingPage = false;
  ListenToMoments();
  Listen(calcSender, SenderFor(calcType, calcComponent));
  Listen(resetSender, SenderFor(resetType, resetComponent));
  inherited::InitGeneration();
  ClearValue();
}

void TppVariable::RequestResetOnCompute() {
  inherited::RequestResetOnCompute();
  ClearValue();
  Variant v = Value();
  if (OnReset) {
    OnReset(this, v);
    SetValue(v);
  }
  if (LinksListenTo(ppevReset)) {
    TppEventParams params{Value()};
    SendEventNotify(this, ppevReset, &params);
    SetValue(params[0]);
  }
  SavePendingPage(resetType);
}

void TppVariable::Compute() {
  if (!ReportIsPrinting()) return;
  Variant v = Value();
  if (OnCalc) {
    OnCalc(this, v);
    SetValue(v);
  }
  if (LinksListenTo(ppevCalc)) {
    TppEventParams params{Value()};
    SendEventNotify(this, ppevCalc, &params);
    SetValue(params[0]);
  }
  SavePendingPage(calcType);
  const TppCustomReport* report = GetReport();
  if (lookAheadList && report && report->FirstPass()) lookAheadList->Update(LookAheadKey(), TraversalCount(), GetText());
}

void TppVariable::EventNotify(TppCommunicator* sender, int eventId, TppEventParams* params) {
  inherited::EventNotify(sender, eventId, params);
  if (sender == resetSender && eventId == ppVarEventToEventID(resetType)) RequestResetOnCompute();
  if (sender == calcSender && eventId == ppVarEventToEventID(calcType)) Compute();
}

std::string TppVariable::TextSource() const {
  if (!ReportIsPrinting() && !Caption().empty()) return Caption();
  return FormatValue(dataType, Value());
}

int TppVariable::TraversalCount() const {
  const auto* pipeline = dynamic_cast<const TppDataPipeline*>(calcComponent);
  if (!pipeline) pipeline = ppDetailPipeline(GetReport());
  return pipeline ? pipeline->TraversalCount() : 0;
}

std::string TppVariable::LookAheadKey() const {
  const TppCustomReport* report = GetReport();
  int counter = 0;
  switch (resetType) {
    case veTraversal: counter = TraversalCount(); break;
    case veDataPipelineTraversal:
      if (const auto* pipeline = dynamic_cast<const TppDataPipeline*>(resetComponent)) counter = pipeline->TraversalCount();
      break;
    case vePageStart:
    case vePageEnd:
    case veColumnStart:
    case veColumnEnd: counter = report ? report->AbsolutePageNo() : 0; break;
    case veGroupStart:
    case veGroupEnd:
    case veGroupBeforeHeader:
    case veGroupBeforeFooter:
      if (const auto* group = dynamic_cast<const TppGroup*>(resetComponent)) counter = group->BreakNo();
      break;
    default: break;
  }
  const bool byColumn = resetType == veColumnStart || resetType == veColumnEnd;
  const int column = byColumn && report ? report->Engine().CurrentColumn() : 0;
  return TppLookAheadList::Key(TppLookAheadList::ReportKey(*this), counter, column);
}

void TppVariable::PrepareLookAhead() {
  lookAheadList.reset();
  if (LookAheadActive()) lookAheadList = std::make_unique<TppLookAheadList>(this);
}

void TppVariable::ReleaseLookAhead() {
  if (lookAheadList) lookAheadList->UnregisterAll();
}

void TppVariable::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  auto* text = dynamic_cast<TppDrawVariable*>(command);
  if (!text || !lookAheadList) return;
  const TppCustomReport* report = GetReport();
  lookAheadList->ApplyTo(*text, LookAheadKey(), report && report->FirstPass());
}

void TppVariable::SavePageState(int page) {
  inherited::SavePageState(page);
  pendingPage = true;
}

void TppVariable::SavePendingPage(TppVarEventType moment) {
  if (!pendingPage || (moment != vePageEnd && moment != veColumnEnd)) return;
  pendingPage = false;
  if (const TppCustomReport* report = GetReport()) SaveStateRecord(report->AbsolutePageNo());
}

void TppVariable::TruncateFrom(int page) {
  inherited::TruncateFrom(page);
  if (page <= 0) longTexts.clear();
}

namespace {
// The value in the page state: its type, a number and a text; a text that
// does not fit is kept aside and the record holds its index (LongText set).
struct TVariableState {
  uint8_t DataType, ResetOnCompute, LongText, Reserved[5];
  double Number;
  char Text[32];
};
static_assert(sizeof(TVariableState) == TppVariable::StateSize - ppPrintableStateSize);
}  // namespace

void TppVariable::CaptureState(uint8_t* record) const {
  inherited::CaptureState(record);
  TVariableState s{};
  s.DataType = dataType;
  s.ResetOnCompute = ResetOnCompute();
  if (dataType == dtString || dataType == dtChar) {
    const std::string text = Value().AsString();
    if (text.size() < sizeof s.Text && text.find('\0') == std::string::npos) {
      std::memcpy(s.Text, text.data(), text.size());
    } else {
      if (longTexts.empty() || longTexts.back() != text) longTexts.push_back(text);
      s.LongText = 1;
      s.Number = static_cast<double>(longTexts.size() - 1);
    }
  } else if (dataType == dtExtended) {
    static_assert(sizeof(long double) <= sizeof s.Text);
    std::memcpy(s.Text, &extendedValue, sizeof extendedValue);
  } else if (dataType == dtCurrency) {
    // The scaled whole number, exact in a double up to 2^53.
    s.Number = static_cast<double>(currencyValue.Scaled);
  } else {
    s.Number = Value().AsFloat();
  }
  std::memcpy(record + ppPrintableStateSize, &s, sizeof s);
}

void TppVariable::ApplyState(const uint8_t* record) {
  inherited::ApplyState(record);
  TVariableState s;
  std::memcpy(&s, record + ppPrintableStateSize, sizeof s);
  dataType = s.DataType <= dtString ? static_cast<TppDataType>(s.DataType) : dtString;
  SetResetOnCompute(s.ResetOnCompute != 0);
  s.Text[sizeof s.Text - 1] = 0;
  switch (dataType) {
    case dtString:
    case dtChar: {
      const size_t index = static_cast<size_t>(s.Number);
      ORV_ASSERT(!s.LongText || index < longTexts.size());
      const std::string text = s.LongText && index < longTexts.size() ? longTexts[index] : std::string(s.Text);
      if (dataType == dtString) stringValue = text;
      else charValue = text.empty() ? 0 : text[0];
      break;
    }
    case dtBoolean: booleanValue = s.Number != 0; break;
    case dtDate:
    case dtTime:
    case dtDateTime: dateTimeValue = s.Number; break;
    case dtInteger: integerValue = static_cast<int>(s.Number); break;
    case dtSingle: singleValue = static_cast<float>(s.Number); break;
    case dtExtended: std::memcpy(&extendedValue, s.Text, sizeof extendedValue); break;
    case dtCurrency: currencyValue.Scaled = static_cast<int64_t>(s.Number); break;
    default: doubleValue = s.Number; break;
  }
}

// ---------------------------------------------------------------------------
// TppCalc

const TClassInfo& TppCalc::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppCalc>("TppCalc")
                                     .Property("CalcType", &TppCalc::CalcType, &TppCalc::SetCalcType)
                                     .Default(ctDate)
                                     .Property("CustomType", &TppCalc::CustomType, &TppCalc::SetCustomType)
                                     .Default(dtDate)
                                     .Event("OnCalc", &TppCalc::OnCalc)
                                     .Build();
  return info;
}

TppCalc::TppCalc(TComponent* owner) : TppCustomText(owner) { SetDrawCommandClass(&TppDrawCalc::StaticClassType()); }

namespace {
TppDataType CalcKindType(TppCalcType type) {
  switch (type) {
    case ctDate: return dtDate;
    case ctDateTime:
    case ctPrintDateTime: return dtDateTime;
    case ctPageCount:
    case ctPageNo: return dtInteger;
    case ctTime: return dtTime;
    default: return dtString;
  }
}

// The system variable of the same kind; ctCustom has none.
TppVarType CalcKindVar(TppCalcType type) {
  constexpr TppVarType kinds[] = {vtDate,    vtDateTime, vtPrintDateTime, vtPageCount, vtPageSet,
                                  vtPageSetDesc, vtPageNo, vtPageNoDesc,    vtTime};
  return kinds[std::min<int>(type, ctTime)];
}
}  // namespace

void TppCalc::SetCalcType(TppCalcType value) {
  if (value == calcType) return;
  calcType = value;
  if (!Loading()) customType = CalcKindType(value);
  PropertyChange();
  LayoutChanged();
}

void TppCalc::SetCustomType(TppDataType value) {
  if (calcType == ctCustom || Loading()) customType = value;
}

void TppCalc::Compute() {
  if (calcType != ctCustom || !ReportIsPrinting()) return;
  if (OnCalc) OnCalc(this);
  SetResetOnCompute(false);
}

std::string TppCalc::TextSource() const {
  if (calcType == ctCustom) return ReportIsPrinting() ? TppPrintable::GetText() : std::string("Custom");
  TppCustomReport* report = GetReport();
  TppPageInfo info;
  const bool printing = ReportIsPrinting() && report;
  if (printing) {
    info.PageNo = report->AbsolutePageNo();
    info.PageCount = report->AbsolutePageCount();
    info.PrintDateTime = report->Engine().PrintDateTime();
  }
  return ppSystemVariableText(CalcKindVar(calcType), printing ? &info : nullptr, NeutralFormatSettings());
}

void TppCalc::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  if (auto* calc = dynamic_cast<TppDrawCalc*>(command)) calc->CalcType = calcType;
  command->SetDataType(customType);
}
