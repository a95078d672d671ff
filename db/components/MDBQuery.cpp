#include "MDBQuery.h"

#include <cstring>

#include "MDBConsts.h"
#include "MDBDatabase.h"
#include "MDBFieldTypes.h"
#include "MDBSession.h"
#include "dbConsts.h"
#include "dbNativeValues.h"
#include "engTableCursor.h"
#include "engExpCodes.h"
#include "rtlAssert.h"
#include "rtlFiler.h"
#include "rtlFormat.h"
#include "sqlStatement.h"

RTL_DEFINE_CLASS(TMDBQueryDataLink)

namespace {

bool IsNameDelimiter(char c) { return c == '\n' || c == '\r' || c == ' ' || c == ')' || c == ',' || c == ';'; }
bool IsQuote(char c) { return c == '\'' || c == '"'; }

std::string StripQuotes(std::string name, char quote) {
  if (name.size() >= 2 && name.front() == quote && name.back() == quote) name = name.substr(1, name.size() - 2);
  return name;
}

template <typename T>
std::string RawBytes(T value) {
  std::string bytes(sizeof value, '\0');
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

}  // namespace

std::string ConvertQueryParams(const std::string& text, std::vector<std::string>* names) {
  std::string result;
  result.reserve(text.size());
  bool inLiteral = false;
  char literalQuote = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (!inLiteral && c == ':' && i + 1 < text.size() && text[i + 1] == ':') {
      result += ':';
      i += 2;
      continue;
    }
    if (!inLiteral && c == ':') {
      // The name runs to a delimiter outside a literal; quotes inside it
      // switch the literal state, so a quoted name may hold blanks.
      size_t end = i + 1;
      const bool quotedName = end < text.size() && IsQuote(text[end]);
      bool nameLiteral = false;
      char nameQuote = 0;
      while (end < text.size() && (nameLiteral || !IsNameDelimiter(text[end]))) {
        if (IsQuote(text[end])) {
          if (!nameLiteral) {
            nameLiteral = true;
            nameQuote = text[end];
          } else if (text[end] == nameQuote) {
            nameLiteral = false;
          }
        }
        ++end;
      }
      std::string name = text.substr(i + 1, end - i - 1);
      if (quotedName) name = StripQuotes(StripQuotes(name, '\''), '"');
      if (names) names->push_back(name);
      result += '?';
      i = end;
      continue;
    }
    if (IsQuote(c)) {
      if (!inLiteral) {
        inLiteral = true;
        literalQuote = c;
      } else if (c == literalQuote) {
        inLiteral = false;
      }
    }
    result += c;
    ++i;
  }
  return result;
}

TSqlParamValue SqlParamValueOf(const TMDBParam& param) {
  const TFieldType type = param.DataType();
  if (type == ftUnknown) throw EDatabaseError(Format(SNoParameterValue, {param.Name()}));
  const TMDBEngineType engine = EngineTypeOf(type == ftAutoInc ? ftInteger : type);
  TSqlParamValue value;
  value.DataType = engine.Type;
  value.SubType = engine.Subtype;
  value.IsNull = param.IsNull();
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftMemo:
    case ftFmtMemo:
    case ftBlob:
    case ftGraphic:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary: value.Bytes = param.AsString(); break;
    case ftSmallint: value.Bytes = RawBytes(int16_t(param.AsInteger())); break;
    case ftWord: value.Bytes = RawBytes(uint16_t(param.AsInteger())); break;
    case ftBoolean: value.Bytes = RawBytes(uint16_t(param.AsBoolean() ? 1 : 0)); break;
    case ftInteger:
    case ftAutoInc: value.Bytes = RawBytes(int32_t(param.AsInteger())); break;
    case ftFloat:
    case ftCurrency: value.Bytes = RawBytes(param.AsFloat()); break;
    case ftBCD:
      value.Scale = 4;
      value.Bytes = RawBytes(NativeCurrencyToStoredBcd(param.AsCurrency(), 4));
      break;
    case ftDate: value.Bytes = RawBytes(DateTimeToDateNumber(param.AsDateTime())); break;
    case ftTime: value.Bytes = RawBytes(DateTimeToTimeMSecs(param.AsDateTime())); break;
    case ftDateTime: value.Bytes = RawBytes(NativeDateTimeToTimeStamp(param.AsDateTime())); break;
    default: throw EDatabaseError(Format(SFieldUnsupportedType, {param.Name()}));
  }
  if (value.IsNull) value.Bytes.clear();
  return value;
}

// ---- the master link ---------------------------------------------------------

TDataSet* TMDBQueryDataLink::GetDetailDataSet() const { return &query; }

void TMDBQueryDataLink::ActiveChanged() {
  // A master that closes has no values to give: the query keeps its rows.
  if (Active()) query.MasterChanged();
}

void TMDBQueryDataLink::RecordChanged(TField* field) {
  if (field == nullptr) query.MasterChanged();
}

// ---- the query ---------------------------------------------------------------

TMDBQuery::TMDBQuery(TComponent* owner) : TMDBDBDataSet(owner) {
  sql.OnChange = [this](TStrings&) { SQLChanged(); };
}

TMDBQuery::~TMDBQuery() {
  sql.OnChange = nullptr;
  Close();
  UnPrepare();
}

void TMDBQuery::SetSQL(const TStrings& lines) {
  if (lines.Text() == sql.Text()) return;
  Close();
  UnPrepare();
  sql.Assign(&lines);
}

void TMDBQuery::SetSQLScript(const TStrings& lines) {
  if (lines.Text() != sqlScript.Text()) sqlScript.Assign(&lines);
}

void TMDBQuery::SQLChanged() {
  // While a stream is read the parameters come from the stream.
  if (ComponentState().Contains(csLoading)) {
    statementText = ConvertQueryParams(sql.Text(), nullptr);
    return;
  }
  Close();
  UnPrepare();
  storedData.clear();
  std::vector<std::string> names;
  statementText = ConvertQueryParams(sql.Text(), &names);
  if (!paramCheck && !ComponentState().Contains(csDesigning)) return;
  TMDBParams fresh;
  for (const std::string& name : names) fresh.CreateParam(ftUnknown, name, ptUnknown);
  fresh.AssignValues(params);
  params.Assign(&fresh);
  DataEvent(dePropertyChange, 0);
}

void TMDBQuery::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  filer.DefineBinaryProperty(
      "Data",
      [this](TStream& stream) {
        storedData.resize(size_t(stream.Size() - stream.Position()));
        if (!storedData.empty()) stream.ReadBuffer(storedData.data(), int64_t(storedData.size()));
      },
      [this](TStream& stream) { stream.WriteBuffer(storedData.data(), int64_t(storedData.size())); },
      !storedData.empty());
}

void TMDBQuery::SetDataSource(TDataSource* source) {
  if (source != nullptr && source->IsLinkedTo(this)) throw EDatabaseError(SCircularDataLink);
  dataLink.SetDataSource(source);
}

void TMDBQuery::SetParamsFromMaster() {
  TDataSource* source = dataLink.DataSource();
  TDataSet* master = source ? source->DataSet() : nullptr;
  // A closed master has no record to read.
  if (master == nullptr || !master->Active()) return;
  master->FieldDefs().Update();
  for (int i = 0; i < params.Count(); ++i) {
    TMDBParam& param = *params.Items(i);
    if (param.Bound()) continue;
    TField* field = master->FindField(param.Name());
    if (field == nullptr) continue;
    param.AssignField(field);
    param.SetBound(false);
  }
}

void TMDBQuery::MasterChanged() {
  if (!Active() || dataLink.DataSource()->State() == dsSetKey) return;
  DisableControls();
  try {
    Close();
    Open();
  } catch (...) {
    EnableControls();
    throw;
  }
  EnableControls();
}

void TMDBQuery::SetMaxRowCount(int32_t value) {
  maxRowCount = value;
  if (statement) statement->SetMaxRowCount(value);
}

void TMDBQuery::Prepare() {
  if (Active()) throw EDatabaseError(SDataSetOpen);
  if (statement) return;
  // The line breaks the lines are joined with are no statement.
  if (statementText.find_last_not_of("\r\n") + 1 < 2) throw EDatabaseError(SNoSQLStatement);
  // The statement stands on the database's directory: the database stays
  // held for as long as it is prepared.
  SetDBFlag(dbfPrepared, true);
  TMDBSessionUse use(DataSetSession());
  auto prepared = std::make_unique<TQueryStatement>(Database()->Handle());
  prepared->SetRequestLive(requestLive);
  prepared->SetMaxRowCount(maxRowCount);
  prepared->SetPasswordHandler([&session = DataSetSession()] { return session.PasswordRequest(); });
  int32_t position = 0;
  try {
    prepared->Prepare(statementText, position);
  } catch (...) {
    prepared.reset();
    SetDBFlag(dbfPrepared, false);
    throw;
  }
  statement = std::move(prepared);
}

void TMDBQuery::UnPrepare() {
  if (!statement) return;
  {
    TMDBSessionUse use(DataSetSession());
    statement.reset();
  }
  SetDBFlag(dbfPrepared, false);
}

void TMDBQuery::ReportProgress(int32_t current, int32_t percent, bool& abort) {
  if (OnQueryProgress) OnQueryProgress(this, current, uint16_t(percent), abort);
}

void TMDBQuery::BindParams() {
  if (params.Count() == 0) return;
  std::vector<TSqlParamValue> values;
  values.reserve(size_t(params.Count()));
  for (int i = 0; i < params.Count(); ++i) values.push_back(SqlParamValueOf(*params.Items(i)));
  statement->SetParams(values);
}

TTableCursor* TMDBQuery::Execute() {
  ORV_ASSERT(statement != nullptr);
  TMDBSessionUse use(DataSetSession());
  BindParams();
  // A statement without a handler runs its row loop without stopping
  // between rows (it then keeps its read locks across them).
  if (OnQueryProgress)
    statement->SetProgressHandler(
        [this](int32_t current, int32_t percent, bool& abort) { ReportProgress(current, percent, abort); });
  else
    statement->SetProgressHandler(nullptr);
  TTableCursor* result = statement->Execute();
  rowsAffected = statement->GetRecordCount();
  executionTime = statement->GetElapsed();
  return result;
}

std::unique_ptr<TTableCursor> TMDBQuery::CreateHandle() {
  if (sql.Count() == 0) throw EDatabaseError(SNoSQLStatement);
  Prepare();
  SetParamsFromMaster();
  TTableCursor* result = Execute();
  if (result == nullptr) return nullptr;
  // The dataset closes its cursor itself; the statement keeps its own,
  // with the answer table, until it is unprepared.
  TMDBSessionUse use(DataSetSession());
  return std::unique_ptr<TTableCursor>(result->Clone());
}

void TMDBQuery::SetDatabaseName(const std::string& value) {
  Close();
  UnPrepare();
  TMDBDBDataSet::SetDatabaseName(value);
}

void TMDBQuery::CloseDatabaseUse() {
  Close();
  UnPrepare();
}

void TMDBQuery::ExecSQL() {
  if (sql.Count() == 0) throw EDatabaseError(SNoSQLStatement);
  Close();
  Prepare();
  Execute();
}
