#include "sqlResultColumns.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include "engTableCursor.h"
#include "engDirectory.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engExpTypeCheck.h"
#include "engExpTypes.h"
#include "engPaths.h"
#include "engScopeGuard.h"
#include "engSession.h"
#include "engStrings.h"
#include "sqlColumns.h"
#include "rtlAssert.h"
#include "rtlStrUtils.h"
#include "sqlErrors.h"
#include "sqlPaths.h"
#include "sqlEvaluation.h"
#include "sqlQuery.h"
#include "sqlStatement.h"

namespace {

constexpr const char* SourceColumns = "source columns";
constexpr const char* AvgCountPrefix = "Sys__Avg__Count";

std::unique_ptr<TResultField> ColumnOfField(TSourceTable& table, int fieldNo) {
  auto column = std::make_unique<TResultField>();
  column->SourceQualifier = table.Reference.CorrelationName;
  column->SourceName = table.Field(fieldNo).Name;
  column->Name = column->SourceName;
  column->Source = int(table.Place);
  column->SourceFieldNo = uint16_t(fieldNo);
  TExpTreePtr reference(NewToken());
  reference->Kind = nkColumn;
  reference->Name = column->SourceName;
  reference->CorrelationName = table.Reference.CorrelationName;
  reference->Text = column->SourceName;
  // Bound as the column check would bind it by name: the field is this
  // table's own, and a table's field names are unique.
  reference->SourceTable = &table;
  reference->FieldNo = uint16_t(fieldNo);
  TypeNodeFromField(table.Field(fieldNo), *reference);
  column->Tree = std::move(reference);
  return column;
}

// The item copied for resolving: the plan's column starts as written.
std::unique_ptr<TResultField> ColumnOfItem(const TResultItem& item) {
  auto column = std::make_unique<TResultField>();
  column->Name = item.Name;
  column->SourceQualifier = item.SourceQualifier;
  column->SourceName = item.SourceName;
  column->Computed = item.Computed;
  column->Aggregate = item.Aggregate;
  column->CountStar = item.CountStar;
  column->ExpressionText = item.ExpressionText;
  column->GeneratedName = item.GeneratedName;
  if (item.Tree) column->Tree.reset(CloneTokenTree(item.Tree.get()));
  return column;
}

const char* AggregateName(uint8_t aggregate) {
  switch (aggregate) {
    case agSum:
      return "SUM";
    case agMin:
      return "MIN";
    case agMax:
      return "MAX";
    default:
      return "AVG";
  }
}

const char* AggregateWord(uint8_t aggregate) {
  switch (aggregate) {
    case agSum:
      return "Sum Of ";
    case agMin:
      return "Min Of ";
    case agMax:
      return "Max Of ";
    case agAvg:
      return "Average Of ";
    case agCount:
      return "Count Of ";
    default:
      return "";
  }
}

}  // namespace

uint8_t ResultFieldType(const TResultField& column) {
  if (column.Aggregate == agAvg) return dtFloat;
  if (column.Aggregate == agCount) return dtInteger;
  if (column.Aggregate == agSum && column.DataType == dtSmallInt) return dtInteger;
  return column.DataType;
}

void ResolveResultColumns(const TDataQuery& query, TQueryPlan& plan) {
  // "*" items become one column per field, in place.
  std::vector<std::unique_ptr<TResultField>> columns;
  for (const auto& column : query.Parsed.Select.Items) {
    if (!column->AllColumns) {
      columns.push_back(ColumnOfItem(*column));
      continue;
    }
    if (!column->GeneratedName)
      RaiseSqlError("Invalid use of column correlation name '" + column->Name + "'" + " for " + "'" + "*" + "'" +
                    " specified in source columns");
    if (!column->SourceQualifier.empty()) {
      TSourceTable* table = query.FindCorrelation(column->SourceQualifier);
      if (!table) RaiseInvalidColumn("*", column->SourceQualifier, SourceColumns);
      for (int i = 1; i <= table->FieldCount; ++i) columns.push_back(ColumnOfField(*table, i));
      continue;
    }
    std::vector<TSourceTable*> byPosition;
    for (auto& table : query.Run.Tables) byPosition.push_back(table.get());
    std::stable_sort(byPosition.begin(), byPosition.end(),
                     [](const TSourceTable* a, const TSourceTable* b) { return a->Reference.Position < b->Reference.Position; });
    for (TSourceTable* table : byPosition)
      for (int i = 1; i <= table->FieldCount; ++i) columns.push_back(ColumnOfField(*table, i));
  }
  plan.ResultFields = std::move(columns);
  if (plan.ResultFields.size() > size_t(MaxResultColumns))
    RaiseSqlError("Maximum number of columns (" + std::to_string(MaxResultColumns) + ") in result set exceeded");

  bool anyAggregate = false, anyPlain = false;
  TSourceColumnResolver resolver(query);
  const TExpCheckContext check{EngErrSql, {}, "source column expression", &resolver, &SourceFormatSettings(query)};
  uint16_t fieldNo = 0;
  for (auto& column : plan.ResultFields) {
    column->FieldNo = uint16_t(++fieldNo);
    (column->Aggregate != agNone ? anyAggregate : anyPlain) = true;
    if (column->CountStar) {
      column->Source = 0;
      column->DataType = dtInteger;
      column->Size = 4;
      if (column->GeneratedName) column->Name = std::string("Count Of ") + "*";
      continue;
    }
    TExpToken* tree = column->Tree.get();
    // A column of "*" comes bound, its source and names set from its field.
    const bool madeBound = tree->Kind == nkColumn && tree->SourceTable && column->Source >= 0;
    if (tree->Kind == nkColumn && !tree->SourceTable) {
      uint16_t sourceField = 0;
      TSourceTable* table = query.FindSourceTable(tree->CorrelationName, tree->Name, sourceField);
      if (!table || sourceField == 0) RaiseInvalidColumn(tree->Name, tree->CorrelationName, SourceColumns);
    }
    // Only HAVING reads it, for its aggregates.
    if (column->Aggregate != agNone && query.Parsed.Grouping.Having) column->Parsed.reset(CloneTokenTree(tree));
    // A column of "*" came bound; a check would find the same field by name.
    if (tree->Kind != nkColumn || !tree->SourceTable) TypeCheckExpression(check, false, nullptr, tree);
    if (column->Aggregate != agNone && column->Aggregate != agCount && !IsNumberType(tree->DataType) &&
        !IsDateTimeType(tree->DataType))
      RaiseSqlError(std::string(AggregateName(column->Aggregate)) + " aggregate function " +
                    "must contain a numeric, date, time, or timestamp expression in source column expression");
    // An expression that is a column after all is a plain column.
    if (madeBound) {
      ORV_ASSERT(!column->Computed && column->Source == int(BoundSourceTable(*tree)->Place) &&
                 column->SourceFieldNo == tree->FieldNo && column->SourceName == tree->Name &&
                 column->SourceQualifier == tree->CorrelationName && column->Name == tree->Name);
    } else if (tree->Kind == nkColumn && tree->SourceTable) {
      column->Computed = false;
      column->Source = int(BoundSourceTable(*tree)->Place);
      column->SourceFieldNo = tree->FieldNo;
      column->SourceName = tree->Name;
      column->SourceQualifier = tree->CorrelationName;
      if (column->GeneratedName && column->Aggregate == agNone) column->Name = tree->Name;
    } else {
      column->Computed = true;
    }
    column->DataType = tree->DataType;
    column->SubType = tree->SubType == stAutoInc ? uint8_t(stNone) : tree->SubType;
    column->Size = tree->DataType == dtBlob ? 4 : tree->DataSize;
    column->Scale = tree->Scale;
    const int32_t size = column->Size;
    if ((column->DataType == dtString && size - 1 > MaxResultTextSize) ||
        (column->DataType == dtBytes && size > MaxResultTextSize))
      RaiseSqlError("Column expression '" + (column->ExpressionText.empty() ? column->Name : column->ExpressionText) +
                    "'" + " exceeds the maximum allowable field size");
    if (ResultFieldType(*column) == dtBlob) plan.HasBlobColumn = true;
  }
  if (anyAggregate && anyPlain && query.Parsed.Grouping.Items.empty())
    RaiseSqlError("Invalid use of aggregate function(s), the necessary GROUP BY clause is missing");
}

void NameResultColumns(TQueryPlan& plan) {
  // The names given so far, each held by its column from then on.
  std::vector<std::string_view> taken;
  taken.reserve(plan.ResultFields.size());
  auto exists = [&taken](std::string_view candidate) {
    return std::any_of(taken.begin(), taken.end(), [&](std::string_view other) { return SameText(other, candidate); });
  };
  std::string base;
  for (auto& column : plan.ResultFields) {
    if (!column->GeneratedName) {
      base = column->Name;
    } else if (column->CountStar) {
      base = "Count Of *";
    } else if (!column->Computed) {
      base = AggregateWord(column->Aggregate);
      base += column->SourceName;
    } else if (column->Aggregate != agNone) {
      base = AggregateWord(column->Aggregate);
      base += "Expr";
    } else {
      base = "Expression";
    }
    // Within a short text's limit: cut at the name's length alone.
    static_assert(MaxResultNameLength <= ShortStringLimit);
    if (base.size() > size_t(MaxResultNameLength)) base.resize(size_t(MaxResultNameLength));
    if (exists(base)) {
      std::string name;
      for (int counter = 1; name.empty() || exists(name); ++counter) {
        const std::string suffix = "_" + std::to_string(counter);
        name = base.substr(0, std::min(base.size(), size_t(MaxResultNameLength) - suffix.size())) + suffix;
      }
      column->Name = std::move(name);
    } else if (column->Name != base) {
      column->Name = base;
    }
    taken.push_back(column->Name);
  }
}

std::vector<TFieldDefinition> AnswerFields(const TDataQuery& query) {
  std::vector<TFieldDefinition> fields;
  const auto& columns = query.Plan.ResultFields;
  fields.reserve(columns.size() + size_t(std::count_if(columns.begin(), columns.end(), [](const auto& column) {
                                    return column->Aggregate == agAvg;
                                  })));
  auto add = [&](const std::string& name, uint8_t type, uint8_t subType, int32_t size, uint8_t scale) {
    TFieldDefinition& field = fields.emplace_back();
    field.Number = uint16_t(fields.size());
    field.Name = name.substr(0, FieldNameLimit);
    field.Type = type;
    field.Subtype = subType;
    if (type == dtString) field.DeclaredSize = uint8_t(std::clamp(size - 1, 1, 250));
    if (type == dtBlob) field.DeclaredSize = 1;
    if (type == dtBcd) field.Scale = scale;
  };
  for (const auto& column : query.Plan.ResultFields) {
    const uint8_t type = ResultFieldType(*column);
    add(column->Name, type, type == column->DataType ? column->SubType : uint8_t(stNone), column->Size, column->Scale);
  }
  for (const auto& column : query.Plan.ResultFields)
    if (column->Aggregate == agAvg)
      add(AvgCountPrefix + std::to_string(column->FieldNo), dtInteger, stNone, 4, 0);
  return fields;
}

namespace {

// Every session's answers share the process's in-memory database: a name
// found free and taken after could go to another thread in between (the
// temporary names restart their count per thread, whose numbers run
// together), so each answer takes the process's next number.
std::string MemoryAnswerName(const TDataDirectory& memory) {
  static std::atomic<uint32_t> last{0};
  for (;;) {
    std::string name = "SQL" + std::to_string(++last) + ".DAT";
    if (!memory.TableExists(name, true)) return name;
  }
}

}  // namespace

bool KeepsTemporaryAnswer(const TDataQuery& query) {
  return !query.Parsed.Target.Into && !query.Parsed.Options.Encrypted;
}

void CreateAnswerTable(TDataQuery& query, bool inMemory) {
  ORV_ASSERT(!query.Run.Answer && !query.Run.AnswerDirectory);
  ORV_ASSERT(!inMemory || KeepsTemporaryAnswer(query));
  TDataSession* session = query.StatementDirectory()->Session();
  std::string name;
  if (query.Parsed.Target.InMemory) {
    query.Run.AnswerDirectory = session->OpenDirectory("Memory", "");
    name = FilePart(query.Parsed.Target.Name);
  } else if (inMemory) {
    query.Run.AnswerDirectory = session->OpenDirectory("Memory", "");
    name = MemoryAnswerName(*query.Run.AnswerDirectory);
  } else if (query.Parsed.Target.Into && HasFolderPart(query.Parsed.Target.Name)) {
    const std::string folder = FolderPart(query.Parsed.Target.Name);
    query.Run.AnswerDirectory = session->OpenDirectory(folder, folder);
    name = FilePart(query.Parsed.Target.Name);
  } else {
    const std::string folder = session->GetPrivateDirectory();
    query.Run.AnswerDirectory = session->OpenDirectory(folder, folder);
    name = query.Parsed.Target.Into ? query.Parsed.Target.Name : query.Run.AnswerDirectory->GetTempTableName(false);
  }
  TTableDefinition definition = query.Parsed.Options.NewTableDefinition(AnswerFields(query));
  definition.LanguageId = query.Plan.LanguageId;
  definition.SortId = query.Plan.SortId;
  const bool addedPassword = query.Parsed.Options.Encrypted && !session->PasswordExists(query.Parsed.Options.Password);
  if (addedPassword) session->AddPassword(query.Parsed.Options.Password);
  try {
    auto answer = NewTableCursor(query.Run.AnswerDirectory);
    answer->SetOpenOptions({.TableName = name,
                            .Exclusive = true,
                            .InMemory = query.Parsed.Target.InMemory || inMemory,
                            .TemporaryTable = !query.Parsed.Target.Into});
    answer->Admin().CreateTableAndOpen(definition, true);
    query.Run.AnswerFields.clear();
    if (query.Parsed.Select.HasAverage) query.Run.AnswerFields = answer->Fields().FieldDefinitions();
    query.Run.Answer = std::move(answer);
    query.Run.AnswerInMemory = inMemory;
  } catch (...) {
    if (addedPassword) session->RemovePassword(query.Parsed.Options.Password);
    throw;
  }
  if (addedPassword) session->RemovePassword(query.Parsed.Options.Password);
}

namespace {

// Every record of from, in natural order, appended to to (both laid out by
// AnswerFields): the bytes as they are, each BLOB read whole and stored as a
// new value of to's.
void CopyAnswerRecords(TTableCursor& from, TTableCursor& to, const TFormatSettings& settings) {
  const size_t size = size_t(from.Fields().CursorRecordSize());
  ORV_ASSERT(size_t(to.Fields().CursorRecordSize()) == size && from.IsNaturalOrder());
  std::vector<int> blobs;
  for (int fieldNo = 1; fieldNo <= int(from.Fields().FieldDefinitions().size()); ++fieldNo)
    if (from.Fields().FieldDefinition(fieldNo).IsBlob()) blobs.push_back(fieldNo);
  std::vector<uint8_t> record(size), copy(size);
  TExpToken value;
  from.SetToBegin();
  for (;;) {
    const int32_t result = from.GetNextRecord(record.data());
    if (result == EngErrEndOfFile) break;
    if (result != 0) RaiseEngineError(uint16_t(result), from.TableName());
    std::memcpy(copy.data(), record.data(), size);
    for (const int fieldNo : blobs) {
      const TFieldDefinition& field = from.Fields().FieldDefinition(fieldNo);
      to.Fields().WriteBlank(fieldNo, copy.data());
      ReadFieldValue(from, record.data(), field, value);
      if (value.IsNull) continue;
      value.DataType = field.Type;
      StoreFieldValue(to, copy.data(), fieldNo, value, settings);
    }
    to.InsertRecord(copy.data());
  }
}

}  // namespace

void MoveAnswerToDisk(TDataQuery& query) {
  ORV_ASSERT(query.Run.AnswerInMemory && query.Run.Answer && !query.Run.ResultFilter);
  std::unique_ptr<TTableCursor> memory = std::move(query.Run.Answer);
  TDataDirectory* const memoryDirectory = std::exchange(query.Run.AnswerDirectory, nullptr);
  query.Run.AnswerInMemory = false;
  if (query.Run.ResultCursor == memory.get()) query.Run.ResultCursor = nullptr;
  TScopeGuard dropMemory([&] {
    memory->Close(TTemporaryContents::Discard);
    memoryDirectory->Session()->CloseDirectory(memoryDirectory);
  });
  TScopeGuard dropDisk([&] { DropAnswerTable(query); });
  CreateAnswerTable(query, false);
  TTableCursor& disk = *query.Run.Answer;
  // Emptied as a fresh answer is before its fill: a file just opened may
  // hold records nobody has counted, so its appends would go to disk, and
  // its sort would read them back, instead of being held.
  disk.Admin().EmptyTable();
  disk.Admin().BeginFill();
  CopyAnswerRecords(*memory, disk, *query.Run.EvalSettings);
  disk.Admin().EndFill();
  dropDisk.Dismiss();
}

void DropAnswerTable(TDataQuery& query) {
  query.Run.ResultFilter = nullptr;
  if (query.Run.ResultCursor == query.Run.Answer.get()) query.Run.ResultCursor = nullptr;
  if (query.Run.Answer) {
    query.Run.Answer->Close(TTemporaryContents::Discard);
    query.Run.Answer.reset();
  }
  if (query.Run.AnswerDirectory) query.Run.AnswerDirectory->Session()->CloseDirectory(query.Run.AnswerDirectory);
  query.Run.AnswerDirectory = nullptr;
  query.Run.AnswerInMemory = false;
}
