#include "ppCtrls.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ppBands.h"
#include "ppDataPipeline.h"
#include "ppDisplayFormat.h"
#include "ppEngine.h"
#include "ppGroup.h"
#include "ppPlainText.h"
#include "ppReport.h"
#include "rtlFormat.h"
#include "rtlStrUtils.h"
#include "uiMeasuringCanvas.h"

// ---------------------------------------------------------------------------
// TppCustomText

const TClassInfo& TppCustomText::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppCustomText>("TppCustomText")
          .Property("CharWrap", &TppCustomText::CharWrap, &TppCustomText::SetCharWrap)
          .Default(0)
          .Property("DisplayFormat", &TppCustomText::DisplayFormat, &TppCustomText::SetDisplayFormat)
          .Property("Save", &TppCustomText::Save, &TppCustomText::SetSave)
          .Default(0)
          .Property("SaveLength", &TppCustomText::SaveLength, &TppCustomText::SetSaveLength)
          .Default(0)
          .Property("SaveOrder", &TppCustomText::SaveOrder, &TppCustomText::SetSaveOrder)
          .Default(-1)
          .Event("OnGetText", &TppCustomText::OnGetText)
          .Event("OnFormat", &TppCustomText::OnFormat)
          .Build();
  return info;
}

TppCustomText::TppCustomText(TComponent* owner) : TppCustomComponent(owner) {
  SetDrawCommandClass(&TppDrawText::StaticClassType());
  SetAutoSize(TppCustomText::DefaultAutoSize());
}

bool TppCustomText::Loading() const {
  const TComponentState state = ComponentState();
  return state.Contains(csLoading) || state.Contains(csReading);
}

std::string TppCustomText::GetText() const {
  std::string text = TextSource();
  if (Loading()) return text;
  if (OnGetText) OnGetText(const_cast<TppCustomText*>(this), text);
  if (LinksListenTo(ppevGetText)) {
    TppEventParams params{Variant(text)};
    const_cast<TppCustomText*>(this)->SendEventNotify(const_cast<TppCustomText*>(this), ppevGetText, &params);
    text = params[0].AsString();
  }
  return text;
}

void TppCustomText::SetCharWrap(bool value) {
  if (value == charWrap || ReportIsPrinting()) return;
  charWrap = value;
  PropertyChange();
  LayoutChanged();
}

void TppCustomText::SetDisplayFormat(const std::string& value) {
  if (value == displayFormat) return;
  displayFormat = value;
  PropertyChange();
}

void TppCustomText::SetSave(bool value) {
  if (value == save) return;
  save = value;
  LayoutChanged();
}

void TppCustomText::SetSaveLength(int value) {
  if (value == saveLength) return;
  saveLength = value;
  LayoutChanged();
}

namespace {
// The band's texts that are saved to text files, in save order.
std::vector<TppCustomText*> SavedTexts(const TppBand* band) {
  std::vector<TppCustomText*> list;
  if (!band) return list;
  for (int i = 0; i < band->ObjectCount(); ++i)
    if (auto* text = dynamic_cast<TppCustomText*>(band->Objects(i)); text && text->Save()) list.push_back(text);
  return list;
}
}  // namespace

std::vector<TppCustomText*> TppCustomText::BandSaves(const TppBand* band) {
  // The stored order ranks the band's saved texts; ties keep band order.
  std::vector<TppCustomText*> list = SavedTexts(band);
  std::stable_sort(list.begin(), list.end(), [](const TppCustomText* a, const TppCustomText* b) {
    const int left = a->saveOrder < 0 ? INT32_MAX : a->saveOrder;
    const int right = b->saveOrder < 0 ? INT32_MAX : b->saveOrder;
    return left < right;
  });
  return list;
}

int TppCustomText::SaveOrder() const {
  if (!save || !Band()) return -1;
  const std::vector<TppCustomText*> list = BandSaves(Band());
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

std::string TppCustomText::GetDescription() const { return GetUserName() + ": " + Caption(); }

void TppCustomText::SetSaveOrder(int value) {
  if (Loading() || !Band() || !save) {
    saveOrder = value;
    return;
  }
  // Out of the band's save order and back in at the place, the others
  // numbered anew: a place already held is not shared.
  std::vector<TppCustomText*> list = BandSaves(Band());
  value = std::clamp(value, 0, std::max(static_cast<int>(list.size()) - 1, 0));
  const auto here = std::find(list.begin(), list.end(), this);
  if (here != list.end()) list.erase(here);
  list.insert(list.begin() + value, this);
  for (size_t i = 0; i < list.size(); ++i) list[i]->saveOrder = static_cast<int>(i);
  LayoutChanged();
}

void TppCustomText::AdjustSize() {
  if (Loading() || (!AutoSize() && WordWrap()) || ReportIsPrinting()) return;
  TMeasuringCanvas canvas(ppScreenPixelsPerInch);
  canvas.Font() = Font()->Value();
  const std::string caption = Caption();
  int width = 0, height = 0;
  if (WordWrap()) {
    TStringList lines;
    int position = 0;
    TppWrapOptions options;
    options.Rect = TRect{0, 0, mmWidth(), INT32_MAX / 2};
    options.WordWrap = true;
    options.CharWrap = charWrap;
    const TppWrapResult result = TppPlainText::WrapText(caption, options, Font()->Value(), nullptr, lines, position);
    width = mmWidth();
    height = std::max(lines.Count(), 1) * result.LineHeight;
  } else {
    const TSize size = canvas.TextExtent(caption.empty() ? std::string(" ") : caption);
    width = ppUnitsToMMThousandths(size.cx, utScreenPixels, axHorizontal);
    height = ppUnitsToMMThousandths(canvas.TextHeight("W"), utScreenPixels, axVertical);
  }
  if (AutoSize()) {
    int left = mmLeft();
    if (Alignment() == taRightJustify) left += mmWidth() - width;
    else if (Alignment() == taCenter) left += (mmWidth() - width) / 2;
    TppPrintable::SetmmLeft(std::max(left, 0));
    TppPrintable::SetmmWidth(width);
  }
  TppPrintable::SetmmHeight(height);
}

std::string TppCustomText::FormatValue(TppDataType dataType, const Variant& value) const {
  const std::string format = OnFormat ? std::string() : displayFormat;
  std::string text = ppFormatDisplayValue(format, dataType, value, NeutralFormatSettings());
  if (OnFormat) OnFormat(const_cast<TppCustomText*>(this), displayFormat, dataType, value, text);
  return text;
}

void TppCustomText::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  auto* text = dynamic_cast<TppDrawText*>(command);
  if (!text) return;
  text->SetAlignment(Alignment());
  text->AutoSize = AutoSize();
  text->Color = Color();
  text->ForceJustifyLastLine = false;
  text->Text = GetText();
  text->SetTextAlignment(TextAlignment());
  text->Transparent = Transparent();
  text->WordWrap = WordWrap();
  text->SetFont(Font());
  if (WordWrap()) {
    TStringList lines;
    int position = 0;
    TppWrapOptions options;
    options.Rect = DrawRect();
    options.CharWrap = charWrap;
    options.Justification = TextAlignment();
    TppPlainText::WrapText(text->Text, options, Font()->Value(), nullptr, lines, position);
    text->SetWrappedText(&lines);
  }
  text->BandSave = Band() && Band()->Save();
  text->BandSaveNo = Band() && Band()->Report() ? Band()->Report()->IndexOfBand(Band()) : 0;
  text->Component = this;
  text->ComponentSave = save;
  text->ComponentSaveNo = SaveOrder();
  text->SaveLength = saveLength;
}

// ---------------------------------------------------------------------------
// TppLabel

const TClassInfo& TppLabel::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppLabel>("TppLabel").Build();
  return info;
}

TppLabel::TppLabel(TComponent* owner) : TppCustomText(owner) {}

void TppLabel::SetUserName(const std::string& name) {
  const std::string old = GetUserName();
  inherited::SetUserName(name);
  if (GetUserName() != old && !ComponentState().Contains(csReading) && Caption() == old) SetCaption(GetUserName());
}

// ---------------------------------------------------------------------------
// TppDBText

const TClassInfo& TppDBText::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppDBText>("TppDBText")
          .Property("BlankWhenZero", &TppDBText::BlankWhenZero, &TppDBText::SetBlankWhenZero)
          .Default(0)
          .Property("ReprintOnSubsequent", &TppDBText::ReprintOnSubsequent, &TppDBText::SetReprintOnSubsequent)
          .Default(0)
          .Property("SuppressRepeatedValues", &TppDBText::SuppressRepeatedValues,
                    &TppDBText::SetSuppressRepeatedValues)
          .Default(0)
          .Property("ResetGroup", &TppDBText::ResetGroup, &TppDBText::SetResetGroup)
          .Property("ParentDataPipeline", &TppDBText::ParentDataPipeline, &TppDBText::SetParentDataPipeline)
          .Default(1)
          .Build();
  return info;
}

TppDBText::TppDBText(TComponent* owner) : TppCustomText(owner) {
  SetDrawCommandClass(&TppDrawVariable::StaticClassType());
  SetCacheRecordSize(StateSize);
  SetAutoSize(TppDBText::DefaultAutoSize());
  SetListensTo(ppevEngineTraversal, true);
}

void TppDBText::SetBlankWhenZero(bool value) {
  if (value == blankWhenZero) return;
  blankWhenZero = value;
  PropertyChange();
}

void TppDBText::SetSuppressRepeatedValues(bool value) {
  if (value == suppressRepeatedValues) return;
  suppressRepeatedValues = value;
  LayoutChanged();
  PropertyChange();
}

void TppDBText::SetReprintOnSubsequent(bool value) {
  if (value == reprintOnSubsequent) return;
  reprintOnSubsequent = value;
  LayoutChanged();
  PropertyChange();
}

std::string TppDBText::GetDescription() const {
  return DataField().empty() ? GetUserName() : DataField() + ": " + GetUserName();
}

Variant TppDBText::FieldValue() const {
  return DataFieldReady() ? DataPipeline()->GetFieldValue(DataField()) : Variant();
}

TppEngine* TppDBText::ReportEngine() const {
  TppCustomReport* report = GetReport();
  return report ? &report->Engine() : nullptr;
}

int TppDBText::AbsolutePageNo() const {
  TppCustomReport* report = GetReport();
  return report ? report->AbsolutePageNo() : 0;
}

namespace {
// The number a numeric or date value stands for; false for other kinds.
bool NumberOf(const Variant& value, double& number) {
  switch (value.VarType()) {
    case varSmallint:
    case varInteger:
    case varInt64:
    case varByte:
    case varWord:
    case varLongWord:
    case varDouble:
    case varCurrency: number = value.AsFloat(); return true;
    case varDate: number = value.AsDateTime(); return true;
    default: return false;
  }
}

bool IsZero(const Variant& value) {
  double number = 0;
  return NumberOf(value, number) && number == 0;
}
}  // namespace

std::string TppDBText::TextSource() const {
  if (!DataFieldReady()) {
    if (ReportIsPrinting()) return {};
    if (DataField().empty()) return GetUserName();
    return DataPipeline() ? DataPipeline()->GetFieldAlias(DataField()) : DataField();
  }
  TppDataType dataType = dtString;
  Variant value;
  try {
    dataType = DataPipeline()->GetFieldDataType(DataField());
    value = DataPipeline()->GetFieldValue(DataField());
  } catch (const Exception&) {
    return {};
  }
  if (blankWhenZero && !value.IsEmpty() && !value.IsNull() && IsZero(value)) return {};
  if (value.VarType() == varString && value.AsString().empty()) return {};
  if ((dataType == dtDate || dataType == dtDateTime) && value.IsNull()) return {};
  return FormatValue(dataType, value);
}

void TppDBText::InitGeneration() {
  inherited::InitGeneration();
  if (TppEngine* engine = ReportEngine()) engine->AddEventNotify(this);
}

void TppDBText::RequestResetOnCompute() {
  inherited::RequestResetOnCompute();
  alreadyPrinted = false;
  priorValue.clear();
  priorValueSame = false;
  firstPage = -1;
}

void TppDBText::Compute() {
  const std::string text = GetText();
  if (!ResetOnCompute() && text == priorValue) {
    priorValueSame = true;
  } else {
    priorValue = text;
    priorValueSame = false;
    firstPage = AbsolutePageNo();
  }
  SetResetOnCompute(false);
}

void TppDBText::EventNotify(TppCommunicator* sender, int eventId, TppEventParams* params) {
  inherited::EventNotify(sender, eventId, params);
  if (eventId == ppevAfterGroupBreak && sender == static_cast<TppCommunicator*>(ResetGroup())) RequestResetOnCompute();
  else if (eventId == ppevEngineTraversal && sender == static_cast<TppCommunicator*>(ReportEngine())) Compute();
}

void TppDBText::PlacementDone() {
  bool print = true;
  if (priorValueSame) {
    if (!suppressRepeatedValues) print = DrawComponent();
    // FirstPage moves to each page the value prints on: once a page.
    else if (reprintOnSubsequent) print = AbsolutePageNo() > firstPage;
    else print = false;
  }
  if (print) {
    alreadyPrinted = true;
    if (reprintOnSubsequent) firstPage = AbsolutePageNo();
  } else {
    SetSpaceUsed(0);
    SetDrawComponent(false);
  }
}

namespace {
struct TDBTextState {
  uint8_t AlreadyPrinted, PriorValueSame, ResetOnCompute, Reserved;
  int32_t FirstPage;
};
static_assert(sizeof(TDBTextState) == TppDBText::StateSize - ppPrintableStateSize);
}  // namespace

void TppDBText::CaptureState(uint8_t* record) const {
  inherited::CaptureState(record);
  const TDBTextState s{alreadyPrinted, priorValueSame, ResetOnCompute(), 0, firstPage};
  std::memcpy(record + ppPrintableStateSize, &s, sizeof s);
}

void TppDBText::ApplyState(const uint8_t* record) {
  inherited::ApplyState(record);
  TDBTextState s;
  std::memcpy(&s, record + ppPrintableStateSize, sizeof s);
  alreadyPrinted = s.AlreadyPrinted != 0;
  priorValueSame = s.PriorValueSame != 0;
  SetResetOnCompute(s.ResetOnCompute != 0);
  firstPage = s.FirstPage;
  priorValue = GetText();
}

// ---------------------------------------------------------------------------
// TppDBCalc

const TClassInfo& TppDBCalc::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TppDBCalc>("TppDBCalc")
                                     .Property("DBCalcType", &TppDBCalc::DBCalcType, &TppDBCalc::SetDBCalcType)
                                     .Default(dcSum)
                                     .Property("LookAhead", &TppDBCalc::LookAhead, &TppDBCalc::SetLookAhead)
                                     .Default(0)
                                     .Event("OnCalc", &TppDBCalc::OnCalc)
                                     .Event("OnGroupBreak", &TppDBCalc::OnGroupBreak)
                                     .Build();
  return info;
}

TppDBCalc::TppDBCalc(TComponent* owner) : TppDBText(owner) { SetCacheRecordSize(StateSize); }

TppDBCalc::~TppDBCalc() = default;

void TppDBCalc::SetDBCalcType(TppDBCalcType value) {
  if (value == dbCalcType) return;
  dbCalcType = value;
  PropertyChange();
  LayoutChanged();
}

void TppDBCalc::SetLookAhead(bool value) {
  if (value == lookAhead || ReportIsPrinting()) return;
  lookAhead = value;
  if (value && !Loading())
    if (TppCustomReport* report = GetReport()) report->SetPassSetting(psTwoPass);
  PropertyChange();
  LayoutChanged();
}

bool TppDBCalc::LookAheadActive() const {
  const TppCustomReport* report = GetReport();
  return lookAhead && report && report->PassSetting() == psTwoPass;
}

double TppDBCalc::Result() const {
  if (dbCalcType != dcAverage) return value;
  return count == 0 ? 0 : value / count;
}

void TppDBCalc::Clear() {
  value = 0;
  count = 0;
}

void TppDBCalc::InitGeneration() {
  // The marks of an earlier run refer to its pages.
  pendingPage = false;
  inherited::InitGeneration();
}

void TppDBCalc::RequestResetOnCompute() {
  inherited::RequestResetOnCompute();
  Clear();
  const TppBandType band = BandType();
  if (!pendingPage || (band != btFooter && band != btColumnFooter)) return;
  pendingPage = false;
  SaveStateRecord(AbsolutePageNo());
}

void TppDBCalc::SavePageState(int page) {
  inherited::SavePageState(page);
  pendingPage = true;
}

void TppDBCalc::Compute() {
  if (ResetOnCompute() && OnGroupBreak) OnGroupBreak(this);
  double v = 0;
  if (DataPipeline() && !DataField().empty()) {
    try {
      const Variant field = DataPipeline()->GetFieldValue(DataField());
      if (!NumberOf(field, v)) v = 0;
    } catch (const Exception&) {
      v = 0;  // an unreadable value counts nothing
    }
  }
  count += 1;
  switch (dbCalcType) {
    case dcCount: value = count; break;
    case dcSum:
    case dcAverage: value += v; break;
    case dcMinimum:
      if (ResetOnCompute() || v < value) value = v;
      break;
    case dcMaximum:
      if (ResetOnCompute() || v > value) value = v;
      break;
  }
  inherited::Compute();
  if (OnCalc) OnCalc(this);
  SendEventNotify(this, ppevCalc, nullptr);
  const TppCustomReport* report = GetReport();
  if (lookAheadList && report && report->FirstPass()) lookAheadList->Update(LookAheadKey(), TraversalCount(), GetText());
}

TppDataType TppDBCalc::ResultType() const {
  if (dbCalcType == dcCount) return dtInteger;
  if (DataPipeline() && !DataField().empty()) {
    const TppDataType field = DataPipeline()->GetFieldDataType(DataField());
    if (field == dtDate || field == dtTime || field == dtDateTime) return dtDateTime;
  }
  return dtDouble;
}

std::string TppDBCalc::TextSource() const {
  const double r = Result();
  if (BlankWhenZero() && r == 0) return {};
  const TppDataType type = ResultType();
  if (type == dtDateTime && r == 0) return {};
  const Variant shown = type == dtInteger    ? Variant(static_cast<int64_t>(std::llround(r)))
                        : type == dtDateTime ? Variant::FromDate(r)
                                             : Variant(r);
  return FormatValue(type, shown);
}

int TppDBCalc::TraversalCount() const {
  const TppDataPipeline* pipeline = DataPipeline();
  if (!pipeline && ResetGroup()) pipeline = ResetGroup()->DataPipeline();
  if (!pipeline) pipeline = ppDetailPipeline(GetReport());
  return pipeline ? pipeline->TraversalCount() : 0;
}

std::string TppDBCalc::LookAheadKey() const {
  int counter = 0;
  int column = 0;
  if (ResetGroup()) {
    counter = ResetGroup()->BreakNo();
  } else {
    switch (BandType()) {
      case btColumnHeader:
      case btColumnFooter:
        if (const TppCustomReport* report = GetReport()) column = report->Engine().CurrentColumn();
        [[fallthrough]];
      case btHeader:
      case btFooter: counter = AbsolutePageNo(); break;
      default: break;
    }
  }
  return TppLookAheadList::Key(TppLookAheadList::ReportKey(*this), counter, column);
}

void TppDBCalc::PrepareLookAhead() {
  lookAheadList.reset();
  if (LookAheadActive()) lookAheadList = std::make_unique<TppLookAheadList>(this);
}

void TppDBCalc::ReleaseLookAhead() {
  if (lookAheadList) lookAheadList->UnregisterAll();
}

void TppDBCalc::PropertiesToDrawCommand(TppDrawCommand* command) {
  inherited::PropertiesToDrawCommand(command);
  auto* text = dynamic_cast<TppDrawVariable*>(command);
  if (!text) return;
  text->SetDataType(ResultType());
  if (!lookAheadList) return;
  const TppCustomReport* report = GetReport();
  lookAheadList->ApplyTo(*text, LookAheadKey(), report && report->FirstPass());
}

namespace {
struct TDBCalcState {
  double Value, Count;
};
static_assert(sizeof(TDBCalcState) == TppDBCalc::StateSize - TppDBText::StateSize);
}  // namespace

void TppDBCalc::CaptureState(uint8_t* record) const {
  inherited::CaptureState(record);
  const TDBCalcState s{value, count};
  std::memcpy(record + TppDBText::StateSize, &s, sizeof s);
}

void TppDBCalc::ApplyState(const uint8_t* record) {
  inherited::ApplyState(record);
  TDBCalcState s;
  std::memcpy(&s, record + TppDBText::StateSize, sizeof s);
  value = s.Value;
  count = s.Count;
}
