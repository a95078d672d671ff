#include "raFunctions.h"

#include <QApplication>
#include <cmath>
#include <map>
#include <memory>

#include "ppDisplayFormat.h"
#include "ppMessages.h"
#include "raProgram.h"
#include "rtlConvert.h"
#include "rtlDateTimeText.h"
#include "rtlFloatText.h"
#include "rtlStrUtils.h"
#include "uiDialogs.h"

namespace {

// ---- argument access ----

const std::string& Str(TraValue* const* p, int i) { return static_cast<const TraStringValue*>(p[i])->Value; }
std::string& VarStr(TraValue* const* p, int i) { return static_cast<TraStringValue*>(p[i])->Value; }
int32_t Int(TraValue* const* p, int i) { return static_cast<const TraIntegerValue*>(p[i])->Value; }
int32_t& VarInt(TraValue* const* p, int i) { return static_cast<TraIntegerValue*>(p[i])->Value; }
long double Ext(TraValue* const* p, int i) { return static_cast<const TraExtendedValue*>(p[i])->Value; }
Currency Curr(TraValue* const* p, int i) { return static_cast<const TraCurrencyValue*>(p[i])->Value; }
TDateTime Days(TraValue* const* p, int i) { return static_cast<const TraDayCountValue*>(p[i])->Value; }

void SetStr(TraValue* r, std::string value) { static_cast<TraStringValue*>(r)->Value = std::move(value); }
void SetInt(TraValue* r, int32_t value) { static_cast<TraIntegerValue*>(r)->Value = value; }
void SetExt(TraValue* r, long double value) { static_cast<TraExtendedValue*>(r)->Value = value; }
void SetDays(TraValue* r, TDateTime value) { static_cast<TraDayCountValue*>(r)->Value = value; }

// ---- strings ----

// 1-based Index and Count clipped to the text, as the class library's Copy.
std::string CopyOf(const std::string& s, int64_t index, int64_t count) {
  if (index < 1) index = 1;
  if (count <= 0 || index > static_cast<int64_t>(s.size())) return {};
  return s.substr(static_cast<size_t>(index - 1), static_cast<size_t>(std::min<int64_t>(count, s.size() - index + 1)));
}

void DoCopy(TraValue* const* p, TraValue* r) { SetStr(r, CopyOf(Str(p, 0), Int(p, 1), Int(p, 2))); }

void DoDelete(TraValue* const* p, TraValue*) {
  std::string& s = VarStr(p, 0);
  const int64_t index = Int(p, 1), count = Int(p, 2);
  if (index < 1 || index > static_cast<int64_t>(s.size()) || count <= 0) return;
  s.erase(static_cast<size_t>(index - 1), static_cast<size_t>(std::min<int64_t>(count, s.size() - index + 1)));
}

void DoInsert(TraValue* const* p, TraValue*) {
  std::string& s = VarStr(p, 1);
  int64_t index = Int(p, 2);
  if (index < 1) index = 1;
  if (index > static_cast<int64_t>(s.size())) index = static_cast<int64_t>(s.size()) + 1;
  raCheckTextLength(s.size() + Str(p, 0).size());
  s.insert(static_cast<size_t>(index - 1), Str(p, 0));
}

void DoLength(TraValue* const* p, TraValue* r) { SetInt(r, static_cast<int32_t>(std::min<size_t>(Str(p, 0).size(), INT32_MAX))); }

void DoPos(TraValue* const* p, TraValue* r) {
  const std::string& sub = Str(p, 0);
  const size_t at = sub.empty() ? std::string::npos : Str(p, 1).find(sub);
  SetInt(r, at == std::string::npos ? 0 : static_cast<int32_t>(at + 1));
}

void DoCompareText(TraValue* const* p, TraValue* r) { SetInt(r, CompareText(Str(p, 0), Str(p, 1))); }
void DoUpperCase(TraValue* const* p, TraValue* r) { SetStr(r, UpperCase(Str(p, 0))); }
void DoLowerCase(TraValue* const* p, TraValue* r) { SetStr(r, LowerCase(Str(p, 0))); }

void DoCapitalize(TraValue* const* p, TraValue* r) {
  std::string text = LowerCase(Str(p, 0));
  bool startWord = true;
  for (char& c : text) {
    if (c == '_') c = ' ';
    if (startWord && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    startWord = c == ' ';
  }
  SetStr(r, std::move(text));
}

// ---- conversions ----

void DoStrToCurr(TraValue* const* p, TraValue* r) { static_cast<TraCurrencyValue*>(r)->Value = StrToCurr(Str(p, 0)); }
void DoStrToDate(TraValue* const* p, TraValue* r) { SetDays(r, StrToDate(Str(p, 0))); }
void DoStrToDateTime(TraValue* const* p, TraValue* r) { SetDays(r, StrToDateTime(Str(p, 0))); }
void DoStrToFloat(TraValue* const* p, TraValue* r) { SetExt(r, StrToFloat(Str(p, 0))); }
void DoStrToInt(TraValue* const* p, TraValue* r) { SetInt(r, StrToInt(Str(p, 0))); }
void DoStrToIntDef(TraValue* const* p, TraValue* r) { SetInt(r, StrToIntDef(Str(p, 0), Int(p, 1))); }
void DoStrToTime(TraValue* const* p, TraValue* r) { SetDays(r, StrToTime(Str(p, 0))); }
void DoCurrToStr(TraValue* const* p, TraValue* r) { SetStr(r, CurrToStr(Curr(p, 0))); }
void DoDateToStr(TraValue* const* p, TraValue* r) { SetStr(r, DateToStr(Days(p, 0))); }
void DoDateTimeToStr(TraValue* const* p, TraValue* r) { SetStr(r, DateTimeToStr(Days(p, 0))); }
void DoFloatToStr(TraValue* const* p, TraValue* r) { SetStr(r, FloatToStr(Ext(p, 0))); }
void DoIntToStr(TraValue* const* p, TraValue* r) { SetStr(r, IntToStr(Int(p, 0))); }
void DoTimeToStr(TraValue* const* p, TraValue* r) { SetStr(r, TimeToStr(Days(p, 0))); }

// ---- formats ----

void DoFormatCurr(TraValue* const* p, TraValue* r) {
  SetStr(r, FormatFloat(Str(p, 0), static_cast<long double>(Curr(p, 1).Scaled) / Currency::Scale));
}
void DoFormatDateTime(TraValue* const* p, TraValue* r) { SetStr(r, FormatDateTime(Str(p, 0), Days(p, 1))); }
void DoFormatFloat(TraValue* const* p, TraValue* r) { SetStr(r, FormatFloat(Str(p, 0), Ext(p, 1))); }
void DoFormatMaskText(TraValue* const* p, TraValue* r) { SetStr(r, FormatMaskText(Str(p, 0), Str(p, 1))); }

// ---- dates and times ----

void DoCurrentDate(TraValue* const*, TraValue* r) { SetDays(r, Date()); }
void DoCurrentDateTime(TraValue* const*, TraValue* r) { SetDays(r, Now()); }
void DoCurrentTime(TraValue* const*, TraValue* r) { SetDays(r, Time()); }
void DoDayOfWeek(TraValue* const* p, TraValue* r) { SetInt(r, DayOfWeek(Days(p, 0))); }

void DoDecodeDate(TraValue* const* p, TraValue*) {
  int year, month, day;
  DecodeDate(Days(p, 0), year, month, day);
  VarInt(p, 1) = year;
  VarInt(p, 2) = month;
  VarInt(p, 3) = day;
}

void DoDecodeTime(TraValue* const* p, TraValue*) {
  int hour, min, sec, msec;
  DecodeTime(Days(p, 0), hour, min, sec, msec);
  VarInt(p, 1) = hour;
  VarInt(p, 2) = min;
  VarInt(p, 3) = sec;
  VarInt(p, 4) = msec;
}

void DoEncodeDate(TraValue* const* p, TraValue* r) { SetDays(r, EncodeDate(Int(p, 0), Int(p, 1), Int(p, 2))); }
void DoEncodeTime(TraValue* const* p, TraValue* r) { SetDays(r, EncodeTime(Int(p, 0), Int(p, 1), Int(p, 2), Int(p, 3))); }

// ---- mathematics ----

// A result that is no number, or infinite from finite arguments, is a
// domain error of the routine, never a NaN handed on to the script.
long double Checked(const char* name, long double result, std::initializer_list<long double> arguments) {
  bool finiteArguments = true;
  for (long double argument : arguments) finiteArguments &= std::isfinite(argument);
  if (std::isnan(result) || (finiteArguments && std::isinf(result)))
    throw EScriptError(std::string("Invalid argument to ") + name);
  return result;
}

template <const char* Name, long double (*F)(long double)>
void Unary(TraValue* const* p, TraValue* r) {
  SetExt(r, Checked(Name, F(Ext(p, 0)), {Ext(p, 0)}));
}

constexpr char nArcTan[] = "ArcTan", nCos[] = "Cos", nCosh[] = "Cosh", nCotan[] = "Cotan", nExp[] = "Exp",
               nFrac[] = "Frac", nInt[] = "Int", nLn[] = "Ln", nSin[] = "Sin", nSqr[] = "Sqr", nSqrt[] = "Sqrt",
               nTan[] = "Tan", nTanh[] = "Tanh";

long double ArcTanOf(long double x) { return std::atan(x); }
long double CosOf(long double x) { return std::cos(x); }
long double CoshOf(long double x) { return std::cosh(x); }
long double CotanOf(long double x) { return 1.0L / std::tan(x); }
long double ExpOf(long double x) { return std::exp(x); }
long double FracOf(long double x) { return x - std::trunc(x); }
long double IntOf(long double x) { return std::trunc(x); }
long double LnOf(long double x) { return x < 0 ? NAN : std::log(x); }
long double SinOf(long double x) { return std::sin(x); }
long double SqrOf(long double x) { return x * x; }
long double SqrtOf(long double x) { return x < 0 ? NAN : std::sqrt(x); }
long double TanOf(long double x) { return std::tan(x); }
long double TanhOf(long double x) { return std::tanh(x); }

void DoIntPower(TraValue* const* p, TraValue* r) {
  SetExt(r, Checked("IntPower", std::pow(Ext(p, 0), static_cast<long double>(Int(p, 1))), {Ext(p, 0)}));
}
void DoPower(TraValue* const* p, TraValue* r) {
  SetExt(r, Checked("Power", std::pow(Ext(p, 0), Ext(p, 1)), {Ext(p, 0), Ext(p, 1)}));
}
// Halves go to the even neighbour, whatever the rounding mode of the FPU.
void DoRound(TraValue* const* p, TraValue* r) {
  const long double x = Ext(p, 0);
  long double whole = std::floor(x);
  const long double rest = x - whole;
  if (rest > 0.5L || (rest == 0.5L && std::fmod(whole, 2.0L) != 0)) whole += 1;
  SetInt(r, raTruncToInteger(whole));
}
void DoTrunc(TraValue* const* p, TraValue* r) { SetInt(r, raTruncToInteger(Ext(p, 0))); }

// ---- utilities ----

void DoMessageBeep(TraValue* const*, TraValue*) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
}
void DoShowMessage(TraValue* const* p, TraValue*) {
  TMessageBoxRequest request;
  request.Text = Str(p, 0);
  ShowMessageBox(request);
}

struct TEntry {
  const char* Name;
  TraFunctionCategory Category;
  const char* Declaration;
  TraRoutineWork Work;
};

// In the order the routines were first registered.
const TEntry builtIns[] = {
    {"Capitalize", fcString, "function Capitalize(const S: String): String;", DoCapitalize},
    {"Copy", fcString, "function Copy(S: String; Index, Count: Integer): String;", DoCopy},
    {"Delete", fcString, "procedure Delete(var S: String; Index, Count: Integer);", DoDelete},
    {"Insert", fcString, "procedure Insert(Source: String; var S: String; Index: Integer);", DoInsert},
    {"Length", fcString, "function Length(S: String): Integer;", DoLength},
    {"Pos", fcString, "function Pos(Substr: String; S: String): Integer;", DoPos},
    {"CompareText", fcString, "function CompareText(const S1, S2: string): Integer;", DoCompareText},
    {"UpperCase", fcString, "function UpperCase(const S: String): String;", DoUpperCase},
    {"LowerCase", fcString, "function LowerCase(const S: String): String;", DoLowerCase},
    {"StrToCurr", fcConversion, "function StrToCurr(const S: String): Currency;", DoStrToCurr},
    {"StrToDate", fcConversion, "function StrToDate(const S: String): Date;", DoStrToDate},
    {"StrToDateTime", fcConversion, "function StrToDateTime(const S: String): DateTime;", DoStrToDateTime},
    {"StrToFloat", fcConversion, "function StrToFloat(const S: String): Extended;", DoStrToFloat},
    {"StrToInt", fcConversion, "function StrToInt(const S: String): Integer;", DoStrToInt},
    {"StrToIntDef", fcConversion, "function StrToIntDef(const S: String; Default: Integer): Integer;", DoStrToIntDef},
    {"StrToTime", fcConversion, "function StrToTime(const S: String): Time;", DoStrToTime},
    {"CurrToStr", fcConversion, "function CurrToStr(Value: Currency): String;", DoCurrToStr},
    {"DateToStr", fcConversion, "function DateToStr(aDate: Date): String;", DoDateToStr},
    {"DateTimeToStr", fcConversion, "function DateTimeToStr(aDateTime: DateTime): String;", DoDateTimeToStr},
    {"FloatToStr", fcConversion, "function FloatToStr(Value: Extended): String;", DoFloatToStr},
    {"IntToStr", fcConversion, "function IntToStr(Value: Integer): String;", DoIntToStr},
    {"TimeToStr", fcConversion, "function TimeToStr(aTime: Time): String;", DoTimeToStr},
    {"FormatCurr", fcFormat, "function FormatCurr(const Format: String; Value: Currency): String;", DoFormatCurr},
    {"FormatDateTime", fcFormat, "function FormatDateTime(const Format: String; aDateTime: DateTime): String;", DoFormatDateTime},
    {"FormatFloat", fcFormat, "function FormatFloat(const Format: String; Value: Extended): String;", DoFormatFloat},
    {"FormatMaskText", fcFormat, "function FormatMaskText(const EditMask: String; const Value: String): String;", DoFormatMaskText},
    {"FormatString", fcFormat, "function FormatString(const EditMask: String; const Value: String): String;", DoFormatMaskText},
    {"CurrentDate", fcDateTime, "function CurrentDate: Date;", DoCurrentDate},
    {"DayOfWeek", fcDateTime, "function DayOfWeek(aDate: DateTime): Integer;", DoDayOfWeek},
    {"CurrentDateTime", fcDateTime, "function CurrentDateTime: DateTime;", DoCurrentDateTime},
    {"CurrentTime", fcDateTime, "function CurrentTime: DateTime;", DoCurrentTime},
    {"EncodeTime", fcDateTime, "function EncodeTime(Hour, Min, Sec, MSec: Integer): DateTime;", DoEncodeTime},
    {"DecodeTime", fcDateTime, "procedure DecodeTime(aTime: DateTime; var Hour, Min, Sec, MSec: Integer);", DoDecodeTime},
    {"EncodeDate", fcDateTime, "function EncodeDate(Year, Month, Day: Integer): DateTime;", DoEncodeDate},
    {"DecodeDate", fcDateTime, "procedure DecodeDate(aDate: DateTime; var Year, Month, Day: Integer);", DoDecodeDate},
    {"ArcTan", fcMath, "function ArcTan(X: Extended): Extended;", Unary<nArcTan, ArcTanOf>},
    {"Cos", fcMath, "function Cos(X: Extended): Extended;", Unary<nCos, CosOf>},
    {"Cosh", fcMath, "function Cosh(X: Extended): Extended;", Unary<nCosh, CoshOf>},
    {"Cotan", fcMath, "function Cotan(X: Extended): Extended;", Unary<nCotan, CotanOf>},
    {"Exp", fcMath, "function Exp(X: Extended): Extended;", Unary<nExp, ExpOf>},
    {"Frac", fcMath, "function Frac(X: Extended): Extended;", Unary<nFrac, FracOf>},
    {"Int", fcMath, "function Int(X: Extended): Extended;", Unary<nInt, IntOf>},
    {"IntPower", fcMath, "function IntPower(Base: Extended; Exponent: Integer): Extended;", DoIntPower},
    {"Ln", fcMath, "function Ln(X: Extended): Extended;", Unary<nLn, LnOf>},
    {"Power", fcMath, "function Power(Base, Exponent: Extended): Extended;", DoPower},
    {"Round", fcMath, "function Round(X: Extended): Integer;", DoRound},
    {"Sin", fcMath, "function Sin(X: Extended): Extended;", Unary<nSin, SinOf>},
    {"Sqr", fcMath, "function Sqr(X: Extended): Extended;", Unary<nSqr, SqrOf>},
    {"Sqrt", fcMath, "function Sqrt(X: Extended): Extended;", Unary<nSqrt, SqrtOf>},
    {"Tan", fcMath, "function Tan(X: Extended): Extended;", Unary<nTan, TanOf>},
    {"Tanh", fcMath, "function Tanh(X: Extended): Extended;", Unary<nTanh, TanhOf>},
    {"Trunc", fcMath, "function Trunc(X: Extended): Integer;", DoTrunc},
    {"MessageBeep", fcUtility, "procedure MessageBeep;", DoMessageBeep},
    {"ShowMessage", fcUtility, "procedure ShowMessage(const Msg: string);", DoShowMessage},
};
static_assert(std::size(builtIns) == 54);

struct TRegistered {
  std::string Name;
  TraSystemFunction Function;
  // Compiled from the declaration on first use.
  std::unique_ptr<TraRoutineSignature> Signature;
};

class TRegistry {
public:
  TRegistry() {
    for (const TEntry& entry : builtIns) Register(entry.Name, {entry.Category, entry.Declaration, entry.Work});
  }
  void Register(const std::string& name, TraSystemFunction function) {
    if (TRegistered* found = Find(name)) {
      found->Function = std::move(function);
      found->Signature.reset();
      return;
    }
    entries.push_back(std::make_unique<TRegistered>(TRegistered{name, std::move(function), nullptr}));
  }
  void Unregister(const std::string& name) {
    std::erase_if(entries, [&](const auto& entry) { return SameText(entry->Name, name); });
  }
  TRegistered* Find(const std::string& name) {
    for (const auto& entry : entries)
      if (SameText(entry->Name, name)) return entry.get();
    return nullptr;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry->Name);
    return names;
  }

private:
  std::vector<std::unique_ptr<TRegistered>> entries;
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

const TraRoutineSignature& SignatureOf(TRegistered& entry) {
  if (entry.Signature) return *entry.Signature;
  TraProgram declaration;
  declaration.SetSource(entry.Function.Declaration + "begin end;");
  if (!declaration.Compile())
    throw EScriptError(ppReplacePlaceholders(raEngineMessage(925), {entry.Name}));
  auto signature = std::make_unique<TraRoutineSignature>();
  signature->Name = declaration.ProgramName();
  signature->IsFunction = declaration.IsFunctionType();
  if (TraVariableValue* result = declaration.ResultVariable()) signature->ResultType = result->DataType();
  for (int i = 0; i < declaration.ParamCount(); ++i) {
    const TraVariableValue& parameter = declaration.Param(i);
    std::string typeName;
    if (parameter.DataType() == daEnum) typeName = static_cast<const TraEnumValue&>(parameter.Bound()).TypeName();
    signature->Parameters.push_back({parameter.VarName(), parameter.DataType(), typeName, parameter.IsByReference});
  }
  entry.Signature = std::move(signature);
  return *entry.Signature;
}

bool Lookup(const std::string& name, TraRoutine& routine, bool functionsOnly) {
  TRegistered* entry = Registry().Find(name);
  if (!entry) return false;
  const TraRoutineSignature& signature = SignatureOf(*entry);
  if (functionsOnly && !signature.IsFunction) return false;
  routine.Function = &entry->Function;
  routine.Signature = &signature;
  return true;
}

}  // namespace

std::string raCategoryName(TraFunctionCategory category) {
  switch (category) {
    case fcString: return raEngineMessage(975);
    case fcConversion: return raEngineMessage(924);
    case fcFormat: return raEngineMessage(939);
    case fcDateTime: return raEngineMessage(928);
    case fcMath: return raEngineMessage(950);
    case fcUtility: return "Utility";
  }
  return "Unknown";
}

void raRegisterSystemFunction(const std::string& name, TraSystemFunction function) { Registry().Register(name, std::move(function)); }
void raUnregisterSystemFunction(const std::string& name) { Registry().Unregister(name); }
std::vector<std::string> raSystemFunctionNames() { return Registry().Names(); }
bool raFindFunction(const std::string& name, TraRoutine& routine) { return Lookup(name, routine, true); }
bool raFindRoutine(const std::string& name, TraRoutine& routine) { return Lookup(name, routine, false); }
