// Our side: statements through the SQL engine, rows read from the result
// cursor field by field.

#include <cstring>
#include <stdexcept>

#include "benchSqlSide.h"
#include "benchStorageData.h"
#include "engTableCursor.h"
#include "engDirectory.h"
#include "engEngine.h"
#include "engExpCodes.h"
#include "engExpToken.h"
#include "engSession.h"
#include "sqlColumns.h"
#include "sqlStatement.h"

namespace {

std::string ValueText(const TExpToken& value) {
  if (value.IsNull) return "NULL";
  switch (value.DataType) {
    case dtString:
      return value.AsText();
    case dtBoolean:
      return value.AsBoolean() ? "1" : "0";
    case dtSmallInt:
      return std::to_string(value.AsSmallInt());
    case dtInteger:
    case dtDate:
    case dtTime:
      return std::to_string(value.AsInteger());
    default:
      return std::to_string(int64_t(value.AsFloat()));
  }
}

class TOurSqlSide : public TSqlSide {
public:
  explicit TOurSqlSide(const std::string& folder) {
    StartEngine();
    directory = GetEngineSession()->OpenDirectory("", folder);
    GetEngineSession()->SetPrivateDirectory(folder);
    Execute("CREATE TABLE printers (PrinterName CHAR(250), Floor INTEGER)");
    Execute("INSERT INTO printers SELECT DISTINCT PrinterName, 1 FROM jobs");
    // The program keeps its jobs table open the whole time (the grid's
    // table), so a statement's open is never the first one, which checks
    // every index tree.
    programTable = NewTableCursor(directory);
    programTable->SetOpenOptions({.TableName = "jobs"});
    programTable->Open();
  }
  ~TOurSqlSide() override {
    programTable->Close(TTemporaryContents::Discard);
    programTable.reset();
    StopEngine();
  }

  TSqlAnswer Run(const std::string& sql, const std::vector<int>& columns) override {
    TQueryStatement statement(directory);
    int32_t position = 0;
    statement.Prepare(sql, position);
    TTableCursor* cursor = statement.Execute();
    TSqlAnswer answer;
    std::vector<uint8_t> record(cursor->Fields().CursorRecordSize(), 0);
    std::vector<std::string> values(columns.size());
    TExpTreePtr value(NewToken());
    cursor->SetToBegin();
    while (cursor->GetNextRecord(record.data()) == 0) {
      for (size_t i = 0; i < columns.size(); ++i) {
        const TFieldDefinition& field = *cursor->Fields().FieldAt(columns[i] + 1);
        TypeNodeFromField(field, *value);
        ReadFieldValue(*cursor, record.data(), field, *value);
        values[i] = ValueText(*value);
      }
      ++answer.Rows;
      answer.Checksum += SqlRowHash(values);
    }
    return answer;
  }

  void InsertJobs(int32_t first, int32_t count, int32_t total) override {
    TQueryStatement statement(directory);
    int32_t position = 0;
    statement.Prepare(
        "INSERT INTO jobs (JobDate, JobTime, JobID, MachineName, PrinterName, JobOwner, PagesPrinted, TotalPages, "
        "BytesPrinted, JobSize, Document, JobStatus, JobPrinted) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        position);
    for (int32_t n = first; n < first + count; ++n) {
      const TJobRow row = GenerateJob(n, total);
      statement.SetParams({Whole(dtDate, row.JobDate), Whole(dtTime, row.JobTime), Whole(dtInteger, row.JobID),
                           Text(row.MachineName), Text(row.PrinterName), Text(row.JobOwner),
                           Whole(dtInteger, row.PagesPrinted), Whole(dtInteger, row.TotalPages),
                           Whole(dtInteger, row.BytesPrinted), Whole(dtInteger, row.JobSize),
                           Text(row.Document, dtBlob, stMemo), Whole(dtInteger, row.JobStatus),
                           Flag(row.JobPrinted)});
      statement.Execute();
    }
  }

private:
  TDataDirectory* directory = nullptr;
  std::unique_ptr<TTableCursor> programTable;

  void Execute(const std::string& sql) {
    TQueryStatement statement(directory);
    int32_t position = 0;
    statement.Prepare(sql, position);
    statement.Execute();
  }

  static TSqlParamValue Whole(uint8_t type, int32_t value) {
    TSqlParamValue param;
    param.DataType = type;
    param.IsNull = false;
    param.Bytes.assign(reinterpret_cast<const char*>(&value), sizeof value);
    return param;
  }
  static TSqlParamValue Flag(bool value) {
    TSqlParamValue param;
    param.DataType = dtBoolean;
    param.IsNull = false;
    const uint16_t word = value ? 1 : 0;
    param.Bytes.assign(reinterpret_cast<const char*>(&word), sizeof word);
    return param;
  }
  static TSqlParamValue Text(const std::string& text, uint8_t type = dtString, uint8_t subType = stNone) {
    TSqlParamValue param;
    param.DataType = type;
    param.SubType = subType;
    param.IsNull = false;
    param.Bytes = text;
    return param;
  }
};

}  // namespace

std::unique_ptr<TSqlSide> MakeOurSqlSide(const std::string& folder) { return std::make_unique<TOurSqlSide>(folder); }
