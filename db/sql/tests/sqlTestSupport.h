#pragma once
// Statements run against tables in a scratch folder; results read back as
// rows of text, failures as their engine code and message.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engTableCursor.h"
#include "engDirectory.h"
#include "engEngine.h"
#include "engErrors.h"
#include "engExpCodes.h"
#include "engExpToken.h"
#include "engSession.h"
#include "rtlDateTime.h"
#include "sqlColumns.h"
#include "sqlStatement.h"
#include "rtlTestFolder.h"

using TRows = std::vector<std::string>;

// A value as the tests write it: NULL, numbers plainly, dates yyyy-mm-dd.
inline std::string ValueText(const TExpToken& value) {
  if (value.IsNull) return "NULL";
  char text[64];
  switch (value.DataType) {
    case dtString:
      return value.AsText();
    case dtBlob:
      return std::string(reinterpret_cast<const char*>(value.Value), size_t(value.DataSize));
    case dtBoolean:
      return value.AsBoolean() ? "TRUE" : "FALSE";
    case dtSmallInt:
      return std::to_string(value.AsSmallInt());
    case dtWord:
      return std::to_string(value.AsWord());
    case dtInteger:
      return std::to_string(value.AsInteger());
    case dtDate: {
      int y, m, d;
      DecodeDate(TDateTime(value.AsInteger() - DateTimeDayOffset), y, m, d);
      std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
      return text;
    }
    case dtTime: {
      const int32_t ms = value.AsInteger();
      std::snprintf(text, sizeof text, "%02d:%02d:%02d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60);
      return text;
    }
    default:
      std::snprintf(text, sizeof text, "%g", value.AsFloat());
      return text;
  }
}

class SqlTest : public ::testing::Test {
protected:
  TTestFolder scratch;
  const std::string folder = scratch.Path();
  TDataSession* session = nullptr;
  TDataDirectory* directory = nullptr;
  std::vector<std::unique_ptr<TQueryStatement>> statements;

  void SetUp() override {
    StartEngine();
    session = GetEngineSession();
    session->SetPrivateDirectory(folder + "/");
    directory = session->OpenDirectory("", folder);
  }
  void TearDown() override {
    statements.clear();
    StopEngine();
  }

  // A prepared statement that lives as long as the test.
  TQueryStatement& Prepare(const std::string& text, bool live = false) {
    statements.push_back(std::make_unique<TQueryStatement>(directory));
    TQueryStatement& statement = *statements.back();
    statement.SetRequestLive(live);
    int32_t position = 0;
    statement.Prepare(text, position);
    return statement;
  }

  // Runs each statement in a session of its own, which meets this one only
  // through the files and their locks, as another process would.
  void ExecInAnotherSession(const std::vector<std::string>& texts) {
    TDataSession* other = nullptr;
    CreateEngineSession(other);
    const std::unique_ptr<TDataSession, void (*)(TDataSession*)> owned(other, FreeEngineSession);
    TDataDirectory* otherDirectory = other->OpenDirectory("", folder);
    for (const std::string& text : texts) {
      TQueryStatement statement(otherDirectory);
      int32_t position = 0;
      statement.Prepare(text, position);
      statement.Execute();
    }
    other->CloseDirectory(otherDirectory);
  }

  // The rows a session opened afresh on the folder answers, with nothing
  // of this one's caches: what a statement run again must equal.
  TRows RowsOfAFreshSession(const std::string& text) {
    TDataSession* reader = nullptr;
    CreateEngineSession(reader);
    const std::unique_ptr<TDataSession, void (*)(TDataSession*)> owned(reader, FreeEngineSession);
    reader->SetPrivateDirectory(folder + "/");
    TDataDirectory* readerDirectory = reader->OpenDirectory("", folder);
    TRows rows;
    {
      TQueryStatement statement(readerDirectory);
      int32_t position = 0;
      statement.Prepare(text, position);
      rows = Rows(statement.Execute());
    }
    reader->CloseDirectory(readerDirectory);
    return rows;
  }

  static TRows Rows(TTableCursor* cursor) {
    TRows rows;
    if (!cursor) return rows;
    std::vector<uint8_t> record(cursor->Fields().CursorRecordSize(), 0);
    cursor->SetToBegin();
    while (cursor->GetNextRecord(record.data()) == 0) {
      std::string row;
      for (int position = 1; position <= cursor->Fields().FieldListCount(); ++position) {
        const TFieldDefinition& field = *cursor->Fields().FieldAt(position);
        TExpTreePtr value(NewToken());
        TypeNodeFromField(field, *value);
        ReadFieldValue(*cursor, record.data(), field, *value);
        if (!row.empty()) row += "|";
        row += ValueText(*value);
      }
      rows.push_back(row);
    }
    return rows;
  }

  // The names of the result's fields, as a grid or a report sees them.
  static std::string FieldNames(TTableCursor* cursor) {
    std::string names;
    for (int position = 1; position <= cursor->Fields().FieldListCount(); ++position) {
      if (!names.empty()) names += "|";
      names += cursor->Fields().FieldAt(position)->Name;
    }
    return names;
  }

  // Query and Exec free their statement, and with it its hold on tables.
  TRows Query(const std::string& text, bool live = false) {
    TQueryStatement statement(directory);
    statement.SetRequestLive(live);
    int32_t position = 0;
    statement.Prepare(text, position);
    return Rows(statement.Execute());
  }

  int32_t Exec(const std::string& text) {
    TQueryStatement statement(directory);
    int32_t position = 0;
    statement.Prepare(text, position);
    statement.Execute();
    return statement.GetRecordCount();
  }

  // "code: message" of the failure, or "" when the statement ran.
  std::string ErrorOf(const std::string& text) {
    try {
      Exec(text);
    } catch (const EEngineError& error) {
      return std::to_string(error.ErrorCode) + ": " + error.Message;
    }
    return {};
  }

  // The message of an SQL error, without the code's own prefix.
  std::string SqlError(const std::string& text) {
    const std::string error = ErrorOf(text);
    const std::string prefix = "11949: SQL error - ";
    return error.rfind(prefix, 0) == 0 ? error.substr(prefix.size()) : "not an SQL error: " + error;
  }
};
