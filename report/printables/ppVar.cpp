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
  switch (dataType) {
    case dtString:
    case dtChar: value = Variant(std::string()); break;
    case dtBoolean: value = Variant(false); break;
    case dtDate:
    case dtTime:
    case dtDateTime: value = Variant::FromDate(Now()); break;
    case dtInteger: value = Variant(0); break;
    case dtCurrency: value = Variant(Currency::FromInt(0)); break;
    default: value = Variant(0.0); break;
  }
}

void TppVariable::SetDataType(TppDataType value) {
  if (value <= dtString && value != dataType) {
    dataType = value;
    ClearValue();
  }
  PropertyChange();
  LayoutChanged();
}

Variant TppVariable::Value() const {
  switch (dataType) {
    case dtBoolean: return Variant(value.AsBoolean());
    case dtDate:
    case dtTime:
    case dtDateTime: return Variant::FromDate(value.AsDateTime());
    case dtInteger: return Variant(value.AsInteger());
    case dtSingle:
    case dtDouble:
    case dtExtended: return Variant(value.AsFloat());
    case dtCurrency: return Variant(value.AsCurrency());
    case dtChar: return Variant(value.AsString().substr(0, 1));
    case dtString: return Variant(value.AsString());
    default: return Variant();
  }
}

void TppVariable::SetValue(const Variant& newValue) {
  if (VarIsClear(newValue)) return;
  try {
    value = newValue;
    value = Value();  // converted to DataType now, so a bad value fails here
  } catch (const Exception&) {
    ClearValue();
    throw;
  }
  LayoutChanged();
}

void TppVariable::SetAsInteger(int v) {
  dataType = dtInteger;
  value = Variant(v);
  PropertyChange();
  if (!ReportIsPrinting()) LayoutChanged();
}

void TppVariable::SetAsDouble(double v) {
  dataType = dtDouble;
  value = Variant(v);
  PropertyChange();
  LayoutChanged();
}

void TppVariable::SetAsString(const std::string& v) {
  dataType = dtString;
  value = Variant(v);
  PropertyChange();
  LayoutChanged();
}

void TppVariable::SetAsBoolean(bool v) {
  dataType = dtBoolean;
  value = Variant(v);
  PropertyChange();
  LayoutChanged();
}

void TppVariable::SetAsDateTime(TDateTime v) {
  dataType = dtDateTime;
  value = Variant::FromDate(v);
  PropertyChange();
  LayoutChanged();
}

void TppVariable::SetAsCurrency(Currency v) {
  dataType = dtCurrency;
  value = Variant(v);
  PropertyChange();
  LayoutChanged();
}

void TppVariable::SetCalcType(TppVarEventType v) {
  calcType = v;
  PropertyChange();
  LayoutChanged();
}

void TppVariable::SetResetType(TppVarEventType v) {
  resetType = v;
  PropertyChange();
  LayoutChanged();
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
  const int count = static_cast<int>(BandVariableList(Band()).size());
  calcOrder = std::clamp(value, 0, std::max(count - 1, 0));
  LayoutChanged();
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
  ClearEventSet();
  SetListensTo(ppVarEventToEventID(calcType), true);
  SetListensTo(ppVarEventToEventID(resetType), true);
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
  if (GetEventListenerCount() > 0) {
    TppEventParams params{v};
    SendEventNotify(this, ppevReset, &params);
    SetValue(params[0]);
  }
}

void TppVariable::Compute() {
  if (!ReportIsPrinting()) return;
  Variant v = Value();
  if (OnCalc) {
    OnCalc(this, v);
    SetValue(v);
  }
  if (GetEventListenerCount() > 0) {
    TppEventParams params{Value()};
    SendEventNotify(this, ppevCalc, &params);
    SetValue(params[0]);
  }
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
    const std::string text = value.AsString();
    if (text.size() < sizeof s.Text && text.find('\0') == std::string::npos) {
      std::memcpy(s.Text, text.data(), text.size());
    } else {
      if (longTexts.empty() || longTexts.back() != text) longTexts.push_back(text);
      s.LongText = 1;
      s.Number = static_cast<double>(longTexts.size() - 1);
    }
  } else if (dataType == dtBoolean) {
    s.Number = value.AsBoolean() ? 1 : 0;
  } else if (dataType == dtDate || dataType == dtTime || dataType == dtDateTime) {
    s.Number = value.AsDateTime();
  } else {
    s.Number = value.AsFloat();
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
      value = Variant(s.LongText && index < longTexts.size() ? longTexts[index] : std::string(s.Text));
      break;
    }
    case dtBoolean: value = Variant(s.Number != 0); break;
    case dtDate:
    case dtTime:
    case dtDateTime: value = Variant::FromDate(s.Number); break;
    case dtInteger: value = Variant(static_cast<int>(s.Number)); break;
    default: value = Variant(s.Number); break;
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
