#pragma once
// Brute-force checks of cursor filters: a table of seeded random rows kept
// beside a model of its values, random conditions written twice (as filter
// text and as a predicate over the model, with evaluation's own rules), and
// the records a cursor shows compared with what the predicate selects.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engCursorWriteTestSupport.h"
#include "engExpCodes.h"
#include "engFilter.h"

namespace brute {

enum TField : int { fId = 1, fNum, fSmall, fWord, fName, fDay, fAmount, fGroup, fNote, FieldCount = fNote };

enum class TKind { Integer, Small, Word, Date, Float, Text };

struct TColumn {
  int Field;
  const char* Name;
  TKind Kind;
  bool Indexed;
  int Low, High;  // stored values (text: the field size)
};

inline const std::array<TColumn, FieldCount> Columns = {{
    {fId, "ID", TKind::Integer, true, 1, 0},  // High: the row count
    {fNum, "NUM", TKind::Integer, true, -40, 40},
    {fSmall, "SMALL", TKind::Small, true, -20, 20},
    {fWord, "WCOUNT", TKind::Word, true, 0, 60},
    {fName, "NAME", TKind::Text, true, 0, 12},
    {fDay, "DAY", TKind::Date, true, 0, 90},  // days after 2020-01-01
    {fAmount, "AMOUNT", TKind::Float, true, -10, 10},
    {fGroup, "GRP", TKind::Integer, false, 0, 9},
    {fNote, "NOTE", TKind::Text, false, 0, 8},
}};

inline const TColumn& ColumnOf(int field) { return Columns[size_t(field - 1)]; }

// 2020-01-01 as a stored day number.
inline constexpr int32_t FirstDay = 737425;

struct TRow {
  int32_t Id = 0;
  std::array<std::optional<double>, FieldCount + 1> Number;  // by field; dates as day numbers
  std::array<std::optional<std::string>, FieldCount + 1> Text;
};

class TRandom {
 public:
  explicit TRandom(uint32_t seed) : engine(seed) {}
  int Below(int n) { return int(engine() % uint32_t(n)); }
  int Between(int low, int high) { return low + Below(high - low + 1); }
  bool Chance(int percent) { return Below(100) < percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[size_t(Below(int(items.size())))];
  }

 private:
  std::mt19937 engine;
};

inline std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return text;
}

// Names are few, repeat, and differ in case only, so that case-keeping and
// case-insensitive comparisons select differently.
inline const std::vector<std::string>& NamePool() {
  static const std::vector<std::string> pool = {"a",  "A",  "ab",  "AB",  "Ab", "aB",  "abc",         "ABC", "b",
                                                "B",  "b1", "B1",  "ba",  "Ba", "bab", "1",           "1a",  "1A",
                                                "aa", "AA", "aab", "cab", "c",  "CAB", "abcdefghijkl"};
  return pool;
}

inline const std::vector<std::string>& NotePool() {
  static const std::vector<std::string> pool = {"x", "X", "xy", "XY", "y", "yx", "z", "1x"};
  return pool;
}

// The ends of each type's range (for dates 0001-01-01 and 9999-12-31), and
// a negative zero.
inline const std::vector<double>& Extremes(TKind kind) {
  static const std::map<TKind, std::vector<double>> extremes = {{TKind::Integer, {-2147483648.0, 2147483647.0}},
                                                                {TKind::Small, {-32768, 32767}},
                                                                {TKind::Word, {65535}},
                                                                {TKind::Float, {-0.0, -1e300, 1e300}},
                                                                {TKind::Date, {1, 3652059}}};
  return extremes.at(kind);
}

// Mostly values in the column's range, a few at its type's ends, about
// 10% NULLs.
inline TRow RandomRow(TRandom& random, int32_t id) {
  TRow row;
  row.Id = id;
  row.Number[fId] = id;
  for (const TColumn& column : Columns) {
    if (column.Field == fId || random.Chance(10)) continue;
    if (column.Kind != TKind::Text && random.Chance(3)) {
      row.Number[size_t(column.Field)] = random.Pick(Extremes(column.Kind));
      continue;
    }
    switch (column.Kind) {
      case TKind::Text:
        row.Text[size_t(column.Field)] = column.Field == fName ? random.Pick(NamePool()) : random.Pick(NotePool());
        break;
      case TKind::Float:
        row.Number[size_t(column.Field)] = random.Between(column.Low * 2, column.High * 2) / 2.0;
        break;
      case TKind::Date: row.Number[size_t(column.Field)] = FirstDay + random.Between(column.Low, column.High); break;
      default: row.Number[size_t(column.Field)] = random.Between(column.Low, column.High); break;
    }
  }
  return row;
}

inline std::vector<TFieldSpec> TableFields() {
  return {{"ID", IntType}, {"NUM", IntType},    {"SMALL", dtSmallInt}, {"WCOUNT", dtWord},  {"NAME", StrType, 12},
          {"DAY", dtDate}, {"AMOUNT", dtFloat}, {"GRP", IntType},      {"NOTE", StrType, 8}};
}

// Every kind of index a condition may be served by; GRP and NOTE have none.
inline std::vector<TIndexSpec> TableIndexes() {
  return {{"", {fId}},
          {"ByNum", {fNum}, false},
          {"BySmall", {fSmall}, false},
          {"ByWord", {fWord}, false},
          {"ByName", {fName}, false},
          {"ByNameCI", {fName}, false, false, true},
          {"ByDayDesc", {fDay}, false, true},
          {"ByAmountDesc", {fAmount}, false, false, false, {1}}};
}

// A cursor order: natural (no field), or an index over one field.
struct TOrder {
  std::string IndexName;
  int Field = 0;
  bool Descending = false;
  bool CaseInsensitive = false;
};

inline const std::vector<TOrder>& IndexOrders() {
  static const std::vector<TOrder> orders = {{"", fId},
                                             {"ByNum", fNum},
                                             {"BySmall", fSmall},
                                             {"ByWord", fWord},
                                             {"ByName", fName},
                                             {"ByNameCI", fName, false, true},
                                             {"ByDayDesc", fDay, true},
                                             {"ByAmountDesc", fAmount, true}};
  return orders;
}

// -1, 0, 1: where a row's key stands against another in the order (nulls
// first, turned round by a descending order).
inline int CompareInOrder(const TOrder& order, const TRow& a, const TRow& b) {
  const size_t f = size_t(order.Field);
  int result = 0;
  if (ColumnOf(order.Field).Kind == TKind::Text) {
    const auto& x = a.Text[f];
    const auto& y = b.Text[f];
    if (!x || !y)
      result = int(bool(x)) - int(bool(y));
    else {
      const int c = order.CaseInsensitive ? Upper(*x).compare(Upper(*y)) : x->compare(*y);
      result = (c > 0) - (c < 0);
    }
  } else {
    const auto& x = a.Number[f];
    const auto& y = b.Number[f];
    if (!x || !y)
      result = int(bool(x)) - int(bool(y));
    else
      result = (*x > *y) - (*x < *y);
  }
  return order.Descending ? -result : result;
}

inline std::string Describe(const TCursorFilterOptions& options) {
  std::string text;
  if (options.CaseInsensitive) text += " [case-insensitive]";
  if (options.NoPartialCompare) text += " [no partial compare]";
  if (options.CostChoice) text += " [cost choice]";
  if (options.Dependent) text += " [dependent]";
  return text;
}

inline constexpr int LevelUnknown = -1;

struct TCondition {
  std::string Text;
  std::function<bool(const TRow&)> Holds;
  int Level = LevelUnknown;  // olNone, olPartial, olFull as the optimiser should find
};

// Random conditions over the table's columns with their predicates.
// Evaluation's rules: an ordering sees NULL as its type's zero value; "="
// and "<>" see two NULLs as equal and NULL against a value as unequal.
class TConditionGenerator {
 public:
  TConditionGenerator(TRandom& random, bool withLanguage, int rowCount)
      : random(random), withLanguage(withLanguage), rowCount(rowCount) {}

  TCondition Next(const TCursorFilterOptions& options) { return Node(options, random.Between(0, 3)); }

 private:
  struct TConstant {
    std::optional<double> Value;  // nullopt: NULL
    std::string Text;
    bool Fits = true;  // held exactly by the column's type
  };

  TRandom& random;
  const bool withLanguage;
  const int rowCount;

  TCondition Leaf(const TCursorFilterOptions& options) {
    const TColumn& column = Columns[size_t(random.Below(FieldCount))];
    return column.Kind == TKind::Text ? TextLeaf(column, options) : NumberLeaf(column);
  }

  TCondition Node(const TCursorFilterOptions& options, int depth) {
    if (depth == 0 || random.Chance(30)) return Leaf(options);
    if (random.Chance(15)) {
      TCondition child = Node(options, depth - 1);
      return {"NOT (" + child.Text + ")", [h = child.Holds](const TRow& row) { return !h(row); }, child.Level};
    }
    const bool isAnd = random.Chance(50);
    TCondition result = Node(options, depth - 1);
    for (int n = random.Chance(25) ? 3 : 2; n > 1; --n) result = Join(isAnd, result, Node(options, depth - 1));
    return result;
  }

  static TCondition Join(bool isAnd, const TCondition& a, const TCondition& b) {
    const std::string text = "(" + a.Text + ")" + (isAnd ? " AND " : " OR ") + "(" + b.Text + ")";
    auto holds = [isAnd, x = a.Holds, y = b.Holds](const TRow& row) {
      return isAnd ? x(row) && y(row) : x(row) || y(row);
    };
    return {text, holds, JoinedLevel(isAnd, a.Level, b.Level)};
  }

  // AND is served fully when both sides are, partly when either is served
  // at all; OR only when both sides are served fully.
  static int JoinedLevel(bool isAnd, int a, int b) {
    if (isAnd) {
      if (a == LevelUnknown || b == LevelUnknown) return LevelUnknown;
      return a == olFull && b == olFull ? olFull : a > olNone || b > olNone ? olPartial : olNone;
    }
    if ((a != LevelUnknown && a < olFull) || (b != LevelUnknown && b < olFull)) return olNone;
    return a == olFull && b == olFull ? olFull : LevelUnknown;
  }

  static std::string NumberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
  }

  static std::string DateText(int offset) {
    using namespace std::chrono;
    const year_month_day day{sys_days{year{2020} / 1 / 1} + days{offset}};
    char text[16];
    std::snprintf(text, sizeof text, "'%04d-%02u-%02u'", int(day.year()), unsigned(day.month()), unsigned(day.day()));
    return text;
  }

  // In the stored range mostly; also zero, values past the range, the
  // type's ends, values the type cannot hold (fractions, negatives for
  // WORD, beyond SMALLINT).
  TConstant NumberConstant(const TColumn& column) {
    const int high = column.Field == fId ? rowCount : column.High;
    const int pick = random.Below(100);
    double value = random.Between(column.Low - 2, high + 2);
    if (pick < 4 && column.Kind != TKind::Date && column.Kind != TKind::Float)
      value = random.Pick(Extremes(column.Kind));
    else if (pick < 10)
      value = 0;
    else if (pick < 18)
      value = random.Chance(50) ? column.Low - 1000 : high + 1000;
    else if (pick < 28 && column.Kind != TKind::Date)
      value = random.Between(column.Low, high) + 0.5;
    else if (pick < 33 && column.Kind == TKind::Small)
      value = random.Chance(50) ? 100000 : -100000;
    else if (pick < 38 && column.Kind == TKind::Word)
      value = -random.Between(1, 5);
    else if (column.Kind == TKind::Float && random.Chance(50))
      value += random.Chance(50) ? 0.5 : 0.25;
    if (column.Kind == TKind::Date) return {FirstDay + value, DateText(int(value)), true};
    // 2147483648 is read before its sign and is no integer: the lowest
    // integer goes as a float, which an INTEGER holds exactly.
    if (value == -2147483648.0)
      return {value, "-2147483648.0", column.Kind == TKind::Integer || column.Kind == TKind::Float};
    const bool whole = value == double(int64_t(value));
    bool fits = whole || column.Kind == TKind::Float;
    if (column.Kind == TKind::Small) fits = fits && value >= -32768 && value <= 32767;
    if (column.Kind == TKind::Word) fits = fits && value >= 0 && value <= 65535;
    return {value, NumberText(value), fits};
  }

  TConstant NumberOrNull(const TColumn& column) {
    if (random.Chance(15)) return {std::nullopt, "NULL", true};
    return NumberConstant(column);
  }

  static bool Ordered(uint8_t op, int order) {
    switch (op) {
      case opGreater: return order > 0;
      case opLess: return order < 0;
      case opGreaterEqual: return order >= 0;
      default: return order <= 0;
    }
  }
  static const char* OperatorText(uint8_t op) {
    static const char* const texts[] = {"=", "<>", ">", "<", ">=", "<="};
    return texts[op - opEqual];
  }
  static uint8_t Mirrored(uint8_t op) {
    switch (op) {
      case opGreater: return opLess;
      case opLess: return opGreater;
      case opGreaterEqual: return opLessEqual;
      case opLessEqual: return opGreaterEqual;
      default: return op;
    }
  }

  // "=" and "<>" by the null rules, orderings with NULL as zero.
  static bool CompareNumber(uint8_t op, const std::optional<double>& value, const std::optional<double>& constant) {
    if (op == opEqual || op == opNotEqual) {
      const bool equal = value && constant ? *value == *constant : !value && !constant;
      return (op == opEqual) == equal;
    }
    const double v = value.value_or(0), c = constant.value_or(0);
    return Ordered(op, (v > c) - (v < c));
  }

  int LeafLevel(const TColumn& column, bool fits) const { return column.Indexed && fits ? olFull : olNone; }

  TCondition NumberLeaf(const TColumn& column) {
    const size_t f = size_t(column.Field);
    const std::string name = column.Name;
    const int shape = random.Below(100);
    if (shape < 10) {
      const bool isNull = random.Chance(50);
      return {name + (isNull ? " IS NULL" : " IS NOT NULL"),
              [f, isNull](const TRow& row) { return !row.Number[f] == isNull; }, LeafLevel(column, true)};
    }
    if (shape < 25) {
      std::vector<TConstant> list(size_t(random.Between(1, 4)));
      for (TConstant& element : list) element = NumberOrNull(column);
      const bool negated = random.Chance(40);
      std::string text = name + (negated ? " NOT IN (" : " IN (");
      bool fits = true;
      for (size_t i = 0; i < list.size(); ++i) {
        text += (i ? ", " : "") + list[i].Text;
        fits = fits && list[i].Fits;
      }
      return {text + ")",
              [f, list, negated](const TRow& row) {
                const bool found = std::any_of(list.begin(), list.end(), [&](const TConstant& element) {
                  return CompareNumber(opEqual, row.Number[f], element.Value);
                });
                return found != negated;
              },
              LeafLevel(column, fits)};
    }
    if (shape < 35) {
      const TConstant low = NumberConstant(column), high = NumberConstant(column);
      const bool negated = random.Chance(40);
      return {name + (negated ? " NOT BETWEEN " : " BETWEEN ") + low.Text + " AND " + high.Text,
              [f, low, high, negated](const TRow& row) {
                const double v = row.Number[f].value_or(0);
                return (v >= *low.Value && v <= *high.Value) != negated;
              },
              LeafLevel(column, low.Fits && high.Fits)};
    }
    const uint8_t op = uint8_t(random.Between(opEqual, opLessEqual));
    const bool againstNull = (op == opEqual || op == opNotEqual) && random.Chance(8);
    const TConstant constant = againstNull ? TConstant{std::nullopt, "NULL", true} : NumberConstant(column);
    if (shape < 45 && constant.Value) {  // constant first; NULL is refused there
      return {constant.Text + " " + OperatorText(Mirrored(op)) + " " + name,
              [f, op, constant](const TRow& row) { return CompareNumber(op, row.Number[f], constant.Value); },
              LevelUnknown};
    }
    return {name + " " + OperatorText(op) + " " + constant.Text,
            [f, op, constant](const TRow& row) { return CompareNumber(op, row.Number[f], constant.Value); },
            LeafLevel(column, constant.Fits)};
  }

  std::string RandomText(int maxLength) {
    static const std::string letters = "aAbB1c";
    std::string text;
    for (int n = random.Between(1, maxLength); n > 0; --n) text += letters[size_t(random.Below(int(letters.size())))];
    return text;
  }

  std::string TextConstant(const TColumn& column) {
    const int pick = random.Below(100);
    if (pick < 50) return column.Field == fName ? random.Pick(NamePool()) : random.Pick(NotePool());
    if (pick < 90) return RandomText(4);
    return "abcdefghijklmn";  // longer than the field
  }

  // "=" or "<>" of a text against a constant as the condition copy makes
  // it: with the case-insensitive option, a trailing "*" a prefix unless
  // partial compares are off.
  static bool TextEquals(const std::optional<std::string>& value, std::string constant, const TCursorFilterOptions& options) {
    if (!value) return false;
    std::string tested = *value;
    if (!options.NoPartialCompare && !constant.empty() && constant.back() == '*') {
      constant.pop_back();
      if (tested.size() < constant.size()) return false;
      tested.resize(constant.size());
    }
    return options.CaseInsensitive ? Upper(tested) == Upper(constant) : tested == constant;
  }

  TCondition TextLeaf(const TColumn& column, const TCursorFilterOptions& options) {
    const size_t f = size_t(column.Field);
    const bool upper = column.Field == fName && random.Chance(20);
    const std::string tested = upper ? std::string("UPPER(") + column.Name + ")" : column.Name;
    auto value = [f, upper](const TRow& row) -> std::optional<std::string> {
      if (!row.Text[f]) return std::nullopt;
      return upper ? Upper(*row.Text[f]) : *row.Text[f];
    };
    auto served = [&](const std::string& constant) {
      const bool fits = int(constant.size()) <= column.High && (!upper || Upper(constant) == constant);
      return LeafLevel(column, fits);
    };
    const int shape = random.Below(100);
    if (shape < 10) {
      const bool isNull = random.Chance(50);
      return {tested + (isNull ? " IS NULL" : " IS NOT NULL"),
              [value, isNull](const TRow& row) { return !value(row) == isNull; },
              upper ? LevelUnknown : LeafLevel(column, true)};
    }
    if (shape < 22) {
      std::vector<std::string> list(size_t(random.Between(1, 3)));
      const bool negated = random.Chance(40);
      int level = olFull;
      std::string text = tested + (negated ? " NOT IN (" : " IN (");
      for (size_t i = 0; i < list.size(); ++i) {
        list[i] = TextConstant(column);
        text += (i ? ", '" : "'") + list[i] + "'";
        level = std::min(level, served(list[i]));
      }
      return {text + ")",
              [value, list, negated](const TRow& row) {
                const auto v = value(row);
                return (v && std::find(list.begin(), list.end(), *v) != list.end()) != negated;
              },
              level};
    }
    if (shape < 45 || (withLanguage && shape < 60)) {  // a prefix
      const std::string prefix = TextConstant(column).substr(0, size_t(random.Between(1, 2)));
      const bool equal = random.Chance(60);
      if (!withLanguage && random.Chance(30)) {  // LIKE 'x%' is the same prefix compare, case kept
        const TCursorFilterOptions caseKept{false, false, false, false};
        return {tested + (equal ? " LIKE '" : " NOT LIKE '") + prefix + "%'",
                [value, prefix, equal, caseKept](const TRow& row) {
                  return TextEquals(value(row), prefix + "*", caseKept) == equal;
                },
                served(prefix)};
      }
      // Under a language, whether keys can serve a prefix is the
      // optimiser's choice: the texts of one prefix need not be neighbours
      // in the collation order.
      const int level = options.NoPartialCompare ? served(prefix + "*") : withLanguage ? LevelUnknown : served(prefix);
      return {tested + (equal ? " = '" : " <> '") + prefix + "*'",
              [value, prefix, equal, options](const TRow& row) {
                return TextEquals(value(row), prefix + "*", options) == equal;
              },
              level};
    }
    const uint8_t op =
        withLanguage ? uint8_t(random.Between(opEqual, opNotEqual)) : uint8_t(random.Between(opEqual, opLessEqual));
    if (op == opEqual || op == opNotEqual) {
      const std::string constant = TextConstant(column);
      return {tested + " " + OperatorText(op) + " '" + constant + "'",
              [value, constant, op, options](const TRow& row) {
                return TextEquals(value(row), constant, options) == (op == opEqual);
              },
              served(constant)};
    }
    // Orderings compare bytes; the empty text stands for NULL's zero value.
    const std::string constant = random.Chance(10) ? std::string() : TextConstant(column);
    return {tested + " " + OperatorText(op) + " '" + constant + "'",
            [value, constant, op](const TRow& row) {
              const int order = value(row).value_or("").compare(constant);
              return Ordered(op, (order > 0) - (order < 0));
            },
            constant.empty() ? LevelUnknown : served(constant)};
  }
};

}  // namespace brute
