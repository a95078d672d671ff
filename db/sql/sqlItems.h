#pragma once
// The entries of a query's clause lists: source tables and their joins,
// result columns, ORDER BY and GROUP BY items, INSERT and UPDATE targets and
// values, and the column and index definitions of CREATE and ALTER TABLE.
// The parser makes and fills them; from then on they are read only (the
// query holds them const): preparation resolves them into the plan's own
// (TResultField, TUpdateField, resolved TColumnItem lists in sqlQuery.h).
// A clause's tree stays as parsed, parameter tokens included: the
// statement keeps the values the caller sets and puts them into the copy
// each execution works on (TQueryStatement::CopyWithParams).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engExpToken.h"
#include "engKeyCompare.h"

struct TSourceTable;

// Join kinds; a RIGHT JOIN is registered as kind 3 and becomes a left join
// once its table has been put first.
enum : uint8_t { jkNone = 0, jkInner = 1, jkLeft = 2, jkRight = 3 };

// A table as a clause names it.
struct TTableReference {
  uint16_t Position = 0;  // 1-based, order of the text
  bool InMemory = false;
  std::string DatabaseName;  // "Memory", a folder, or empty: the statement's
  std::string TableName;
  std::string CorrelationName;
};

// Aggregate kinds of a result column.
enum : uint8_t { agNone = 0, agSum = 1, agMin = 2, agMax = 3, agAvg = 4, agCount = 5 };

// A result column as written: an expression, an aggregate of one, or a
// "*" or "t.*" that preparation expands.
struct TResultItem {
  std::string Name;  // the alias, else the column's name
  std::string SourceQualifier;
  std::string SourceName;
  bool Computed = false;
  uint8_t Aggregate = agNone;
  bool CountStar = false;
  std::string ExpressionText;
  bool GeneratedName = true;
  bool AllColumns = false;
  // The whole expression, or the aggregate's argument (nil for COUNT(*)).
  TExpTreePtr Tree;
};

struct TColumnItem {  // ORDER BY and GROUP BY
  std::string Name;
  std::string Qualifier;
  uint16_t ColumnNo = 0;  // 1-based in the result, 0 = by name (the plan's: resolved)
  bool Descending = false;
};

// A column an INSERT or UPDATE names ("*": all of the table's).
struct TTargetItem {
  std::string Name;
  std::string Qualifier;
};

struct TUpdateValue {
  std::string Text;
  TExpTreePtr Tree;
};

// Character case of a column.
enum : uint8_t { ccNoChange = 0, ccLower = 1, ccUpper = 2 };

struct TCreateField {
  std::string Name;
  std::string OldName;  // REDEFINE: the column redefined
  bool HasType = false;
  uint8_t DataType = 0;
  uint8_t SubType = 0;
  int32_t Size = 0;
  uint8_t Scale = 0;
  std::string Description;
  bool Required = false;
  uint8_t CharCase = ccNoChange;
  std::string Minimum, Maximum, Default;
  bool Add = false, Redefine = false, Drop = false;
  int32_t At = 0;
  bool HasAt = false;
  bool HasDescription = false, HasRequired = false, HasCharCase = false;
  bool HasMinimum = false, HasMaximum = false, HasDefault = false;
};

struct TCreateIndex {
  std::string Name;
  std::vector<std::string> Columns;
  bool Descending = false;
  bool Unique = false;
  bool CaseInsensitive = false;
  uint8_t Compression = kcNone;
  bool Add = false, Redefine = false, Drop = false;
};
