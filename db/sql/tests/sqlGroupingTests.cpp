// GROUP BY, HAVING, the aggregates, DISTINCT and ORDER BY with NOCASE.

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

#include "sqlTestSupport.h"
#include "sqlWordHash.h"

namespace {

class SqlGroupingTest : public SqlTest {
protected:
  void SetUp() override {
    SqlTest::SetUp();
    Exec("CREATE TABLE sale (who CHAR(10), amount INTEGER, price FLOAT, day DATE, small SMALLINT)");
    Exec("INSERT INTO sale VALUES ('ann', 10, 1.5, '2024-01-01', 1)");
    Exec("INSERT INTO sale VALUES ('Bob', 20, 2.5, '2024-01-02', 2)");
    Exec("INSERT INTO sale VALUES ('ann', 30, NULL, '2024-01-03', 3)");
    Exec("INSERT INTO sale VALUES ('cy', NULL, 4.0, NULL, 4)");
    Exec("INSERT INTO sale VALUES ('Bob', 5, 0.5, '2024-02-01', 5)");
  }
};

TEST_F(SqlGroupingTest, AggregatesPerGroup) {
  EXPECT_EQ(Query("SELECT who, COUNT(*), COUNT(amount), SUM(amount), MIN(amount), MAX(amount), AVG(price) "
                  "FROM sale GROUP BY who"),
            (TRows{"Bob|2|2|25|5|20|1.5", "ann|2|2|40|10|30|1.5", "cy|1|0|NULL|NULL|NULL|4"}));
  EXPECT_EQ(Query("SELECT who, MIN(day), MAX(day) FROM sale GROUP BY 1"),
            (TRows{"Bob|2024-01-02|2024-02-01", "ann|2024-01-01|2024-01-03", "cy|NULL|NULL"}));
}

TEST_F(SqlGroupingTest, GeneratedNamesOfAggregates) {
  TQueryStatement& statement = Prepare("SELECT SUM(amount), AVG(amount + 1), COUNT(*), MAX(amount) FROM sale");
  const auto& columns = statement.MainQuery().Plan.ResultFields;
  EXPECT_EQ(columns[0]->Name, "Sum Of amount");
  EXPECT_EQ(columns[1]->Name, "Average Of Expr");
  EXPECT_EQ(columns[2]->Name, "Count Of *");
  EXPECT_EQ(columns[3]->Name, "Max Of amount");
}

// The count AVG keeps beside its sum is no field of the result, also when
// the statement runs again.
TEST_F(SqlGroupingTest, AverageKeepsItsCountHidden) {
  const std::tuple<const char*, const char*, size_t> cases[] = {
      {"SELECT who, AVG(amount) FROM sale GROUP BY who", "who|Average Of amount", 3},
      {"SELECT AVG(price), COUNT(*) FROM sale", "Average Of price|Count Of *", 1},
      {"SELECT who, AVG(amount), AVG(small) FROM sale GROUP BY who HAVING AVG(amount) > 10",
       "who|Average Of amount|Average Of small", 2},
  };
  for (const auto& [text, names, rows] : cases) {
    TQueryStatement& statement = Prepare(text);
    for (int run = 0; run < 2; ++run) {
      TTableCursor* result = statement.Execute();
      EXPECT_EQ(FieldNames(result), names) << text;
      EXPECT_EQ(Rows(result).size(), rows) << text;
    }
  }
  EXPECT_EQ(Query("SELECT who, AVG(amount) FROM sale GROUP BY who HAVING AVG(amount) > 10"),
            (TRows{"Bob|12.5", "ann|20"}));
}

TEST_F(SqlGroupingTest, AggregatesOnlyGiveOneRowAlsoOverNoRows) {
  EXPECT_EQ(Query("SELECT COUNT(*), SUM(amount), AVG(amount) FROM sale"), (TRows{"5|65|16.25"}));
  EXPECT_EQ(Query("SELECT COUNT(*) FROM sale WHERE who = 'ann'"), (TRows{"2"}));
  EXPECT_EQ(Query("SELECT COUNT(*) FROM sale WHERE who = 'nobody'"), (TRows{"0"}));
  EXPECT_EQ(Query("SELECT COUNT(amount), SUM(amount), MAX(day) FROM sale WHERE who = 'nobody'"),
            (TRows{"0|NULL|NULL"}));
  TQueryStatement& statement = Prepare("SELECT COUNT(*) FROM sale");
  EXPECT_TRUE(statement.MainQuery().Plan.FastCount);
  EXPECT_EQ(Rows(statement.Execute()), (TRows{"5"}));
  EXPECT_EQ(statement.MainQuery().Plan.ResultFields.front()->Name, "Count Of *");
}

TEST_F(SqlGroupingTest, SumOfSmallIntegersIsAnIntegerColumn) {
  TQueryStatement& statement = Prepare("SELECT SUM(small) FROM sale");
  TTableCursor* answer = statement.Execute();
  EXPECT_EQ(answer->Fields().FieldDefinition(1).Type, dtInteger);
  EXPECT_EQ(Rows(answer), (TRows{"15"}));
}

TEST_F(SqlGroupingTest, SumThatLeavesTheIntegerRangeIsRefused) {
  Exec("CREATE TABLE big (n INTEGER)");
  Exec("INSERT INTO big VALUES (2147483000)");
  Exec("INSERT INTO big VALUES (2147483000)");
  EXPECT_EQ(SqlError("SELECT SUM(n) FROM big"), "Result of SUM exceeds the range of column 'Sum Of n'");
  EXPECT_EQ(Query("SELECT MAX(n) FROM big"), (TRows{"2147483000"}));
}

TEST_F(SqlGroupingTest, HavingKeepsTheGroupsThatPass) {
  EXPECT_EQ(Query("SELECT who, SUM(amount) FROM sale GROUP BY who HAVING SUM(amount) > 30"), (TRows{"ann|40"}));
  EXPECT_EQ(Query("SELECT who, COUNT(*) FROM sale GROUP BY who HAVING COUNT(*) = 1"), (TRows{"cy|1"}));
  EXPECT_EQ(Query("SELECT who, COUNT(*) FROM sale GROUP BY who HAVING who = 'Bob'"), (TRows{"Bob|2"}));
  EXPECT_EQ(SqlError("SELECT who, COUNT(*) FROM sale GROUP BY who HAVING SUM(amount) > 1"),
            "Expression in HAVING clause not found in source columns");
  EXPECT_EQ(SqlError("SELECT who, SUM(amount) FROM sale GROUP BY who HAVING SUM(amount)"),
            "HAVING clause must be a boolean expression");
}

TEST_F(SqlGroupingTest, DistinctAndItsOrder) {
  EXPECT_EQ(Query("SELECT DISTINCT who FROM sale"), (TRows{"Bob", "ann", "cy"}));
  EXPECT_EQ(Query("SELECT DISTINCT who FROM sale ORDER BY who DESC"), (TRows{"cy", "ann", "Bob"}));
  TQueryStatement& given = Prepare("SELECT DISTINCT who FROM sale ORDER BY who");
  EXPECT_TRUE(given.MainQuery().Plan.OrderGiven);
  EXPECT_EQ(Rows(given.Execute()), (TRows{"Bob", "ann", "cy"}));
  // DISTINCT with GROUP BY is dropped: the grouping already folds.
  EXPECT_EQ(Query("SELECT DISTINCT who, COUNT(*) FROM sale GROUP BY who"), (TRows{"Bob|2", "ann|2", "cy|1"}));
}

// Month totals by an expression over a date: months of different years
// apart, a leap day in its month, NULL dates in a group of their own.
TEST_F(SqlGroupingTest, TotalsByMonthOfADate) {
  Exec("INSERT INTO sale VALUES ('dee', 1, 1.0, '2023-12-31', 6)");
  Exec("INSERT INTO sale VALUES ('dee', 2, 1.0, '2024-02-29', 7)");
  Exec("INSERT INTO sale VALUES ('dee', 4, 1.0, '2023-01-15', 8)");
  Exec("INSERT INTO sale VALUES ('eve', 8, 1.0, NULL, 9)");
  EXPECT_EQ(Query("SELECT EXTRACT(YEAR FROM day) * 100 + EXTRACT(MONTH FROM day) AS m, SUM(amount), COUNT(*) "
                  "FROM sale GROUP BY m"),
            (TRows{"NULL|8|2", "202301|4|1", "202312|1|1", "202401|60|3", "202402|7|2"}));
  EXPECT_EQ(Query("SELECT EXTRACT(DAY FROM day), EXTRACT(DAYOFWEEK FROM day), EXTRACT(HOUR FROM day) FROM sale "
                  "WHERE small = 7"),
            (TRows{"29|5|0"}));
}

// A DISTINCT over plain columns drops a row unbuilt when its source values
// were met before: values that only look alike when run together, case
// variants, a NULL beside an empty text or a zero, a number whose first
// byte is zero beside a zero, a text filling its field, and the NULLs of an
// unmatched outer row beside stored NULLs must all stay apart where they
// differ and fold where they do not. GROUP BY over the same columns, which
// builds every row, is the peer.
TEST_F(SqlGroupingTest, DistinctKnowsDuplicatesBeforeBuildingThem) {
  Exec("CREATE TABLE d (a CHAR(4), b CHAR(4), n INTEGER)");
  for (const char* values : {"'ab', 'c', 1", "'a', 'bc', 1", "'Ab', 'c', 1", "'ab', 'c', 1", "NULL, 'c', 1",
                             "'', 'c', 1", "'ab', 'c', NULL", "'ab', 'c', 0", "'abcd', 'c', 1", "'abcd', 'c', 1",
                             "'abcd', 'C', 1", "NULL, 'c', 1", "'ab', 'c', 256"})
    Exec(std::string("INSERT INTO d VALUES (") + values + ")");
  Exec("CREATE TABLE e (a CHAR(4), x INTEGER)");
  Exec("INSERT INTO e VALUES ('ab', NULL)");
  Exec("INSERT INTO e VALUES ('a', 7)");
  const std::pair<const char*, const char*> cases[] = {
      {"SELECT DISTINCT a, b, n FROM d", "SELECT a, b, n FROM d GROUP BY a, b, n"},
      {"SELECT DISTINCT b, a FROM d", "SELECT b, a FROM d GROUP BY b, a"},
      {"SELECT DISTINCT a FROM d", "SELECT a FROM d GROUP BY a"},
      {"SELECT DISTINCT d.a, e.x FROM d LEFT JOIN e ON e.a = d.a", "SELECT d.a, e.x FROM d LEFT JOIN e ON e.a = d.a "
                                                                   "GROUP BY d.a, e.x"},
  };
  for (const auto& [distinct, grouped] : cases) EXPECT_EQ(Query(distinct), Query(grouped)) << distinct;
  EXPECT_EQ(Query("SELECT DISTINCT a, b FROM d"),
            (TRows{"NULL|c", "Ab|c", "a|bc", "ab|c", "abcd|C", "abcd|c"}));
  // The unmatched rows' NULL and 'ab''s stored NULL are one row.
  EXPECT_EQ(Query("SELECT DISTINCT e.x FROM d LEFT JOIN e ON e.a = d.a"), (TRows{"NULL", "7"}));

  // Texts ending on either side of an eight-byte boundary, one filling its
  // field, and one an update left shorter over a longer text: only the
  // bytes up to a text's end tell it apart.
  Exec("CREATE TABLE w (k INTEGER, t CHAR(17))");
  const char* texts[] = {"abcdefg", "abcdefgh", "abcdefghi", "abcdefghijklmnop", "abcdefghijklmnopq",
                         "abcdefghijklmnopq", "abcdefgh", "abcdefghijklmno", "abcdefghi"};
  for (int k = 0; k < int(std::size(texts)); ++k)
    Exec("INSERT INTO w VALUES (" + std::to_string(k) + ", '" + texts[k] + "')");
  Exec("UPDATE w SET t = 'abcdefgh' WHERE k = 5");
  Exec("UPDATE w SET t = 'abcdefg' WHERE k = 8");
  {
    // Bytes after a text's end, as another program may leave them.
    const auto cursor = NewTableCursor(directory);
    cursor->SetOpenOptions({.TableName = "w"});
    cursor->Open();
    std::vector<uint8_t> record(cursor->Fields().CursorRecordSize(), 0);
    cursor->Fields().ClearRecord(record.data());
    cursor->Fields().WriteField(1, record.data(), int32_t(9));
    cursor->Fields().WriteField(2, record.data(), std::string("abcdefgh"));
    const TFieldDefinition& t = *cursor->Fields().FieldAt(2);
    std::memset(record.data() + t.RecordOffset + 10, 'z', size_t(t.StoredSize) - 9);
    cursor->InsertRecord(record.data());
    cursor->Close(TTemporaryContents::Keep);
  }
  EXPECT_EQ(Query("SELECT DISTINCT t FROM w"), Query("SELECT t FROM w GROUP BY t"));
  EXPECT_EQ(Query("SELECT DISTINCT t FROM w"), (TRows{"abcdefg", "abcdefgh", "abcdefghi", "abcdefghijklmno",
                                                      "abcdefghijklmnop", "abcdefghijklmnopq"}));
}

// Each row's computed values are worked out afresh: a NULL after a value,
// a shorter text after a longer one, a group key computed per row.
TEST_F(SqlGroupingTest, ComputedColumnsTakeNothingFromTheRowBefore) {
  const std::pair<const char*, TRows> cases[] = {
      {"SELECT who, amount + 1, UPPER(who) || '.', EXTRACT(MONTH FROM day) FROM sale",
       {"ann|11|ANN.|1", "Bob|21|BOB.|1", "ann|31|ANN.|1", "cy|NULL|CY.|NULL", "Bob|6|BOB.|2"}},
      {"SELECT amount * 2, who, price + amount FROM sale WHERE small > 1",
       {"40|Bob|22.5", "60|ann|NULL", "NULL|cy|NULL", "10|Bob|5.5"}},
      {"SELECT EXTRACT(YEAR FROM day) * 100 + EXTRACT(MONTH FROM day) AS m, SUM(amount), COUNT(*) FROM sale "
       "GROUP BY m",
       {"NULL|NULL|1", "202401|60|3", "202402|5|1"}},
  };
  for (const auto& [text, rows] : cases) EXPECT_EQ(Query(text), rows) << text;
}

TEST_F(SqlGroupingTest, OrderByWithNoCaseAndDirections) {
  EXPECT_EQ(Query("SELECT DISTINCT who FROM sale ORDER BY who NOCASE"), (TRows{"ann", "Bob", "cy"}));
  EXPECT_EQ(Query("SELECT who, amount FROM sale WHERE amount IS NOT NULL ORDER BY who ASC, amount DESC"),
            (TRows{"Bob|20", "Bob|5", "ann|30", "ann|10"}));
  EXPECT_EQ(Query("SELECT who, SUM(amount) total FROM sale GROUP BY who ORDER BY total DESC"),
            (TRows{"ann|40", "Bob|25", "cy|NULL"}));
}

TEST_F(SqlGroupingTest, GroupingRefusesBlobColumns) {
  Exec("CREATE TABLE note (k INTEGER, body BLOB(1, 1))");
  EXPECT_EQ(SqlError("SELECT DISTINCT body FROM note"), "Invalid BLOB column 'body' specified in DISTINCT clause");
  EXPECT_EQ(SqlError("SELECT body FROM note GROUP BY body"), "Invalid BLOB column 'body' specified in GROUP BY clause");
  EXPECT_EQ(SqlError("SELECT body FROM note ORDER BY 1"), "Invalid column number '1' specified in ORDER BY clause");
}

}  // namespace

namespace {

// Decimal values go in as parameters in their stored form: a literal would
// pass through a double on its way.
class SqlDecimalTest : public SqlTest {
protected:
  void InsertDecimal(const std::string& who, int64_t stored) {
    TQueryStatement& statement = Prepare("INSERT INTO pay VALUES ('" + who + "', ?)");
    TSqlParamValue value;
    value.DataType = dtBcd;
    value.Scale = 2;
    value.IsNull = false;
    value.Bytes.assign(reinterpret_cast<const char*>(&stored), sizeof stored);
    statement.SetParams({value});
    statement.Execute();
    statements.pop_back();
  }
};

TEST_F(SqlDecimalTest, DecimalSumsAreExactWhereDoublesRound) {
  Exec("CREATE TABLE pay (who CHAR(5), v DECIMAL(18, 2))");
  // Seventeen digits: a double holds about fifteen, so adding through one
  // loses the cents.
  InsertDecimal("a", 1000000000000000012);  // 1000000000000000.01
  InsertDecimal("a", 12);                   // 0.01
  InsertDecimal("a", 12);
  InsertDecimal("b", -999999999999999992);  // -999999999999999.99
  InsertDecimal("b", 22);                   // 0.02
  TQueryStatement& statement = Prepare("SELECT who, SUM(v), MIN(v), MAX(v) FROM pay GROUP BY who");
  TTableCursor* answer = statement.Execute();
  std::vector<uint8_t> record(answer->Fields().CursorRecordSize(), 0);
  std::vector<std::array<int64_t, 3>> rows;
  answer->SetToBegin();
  while (answer->GetNextRecord(record.data()) == 0) {
    std::array<int64_t, 3> row{};
    for (int field = 2; field <= 4; ++field) {
      answer->Fields().ReadField(
          field, record.data(), {reinterpret_cast<uint8_t*>(&row[size_t(field - 2)]), sizeof row[size_t(field - 2)]});
    }
    rows.push_back(row);
  }
  // Stored decimals: the digits, then one digit for the scale.
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], 1000000000000000032);
  EXPECT_EQ(rows[0][1], 12);
  EXPECT_EQ(rows[0][2], 1000000000000000012);
  EXPECT_EQ(rows[1][0], -999999999999999972);
  EXPECT_EQ(rows[1][1], -999999999999999992);
  EXPECT_EQ(rows[1][2], 22);
}

TEST_F(SqlDecimalTest, DecimalSumBeyondTheStoredRangeIsRefused) {
  Exec("CREATE TABLE pay (who CHAR(5), v DECIMAL(18, 2))");
  InsertDecimal("a", 9000000000000000002);  // 9000000000000000.00
  InsertDecimal("a", 9000000000000000002);
  EXPECT_EQ(SqlError("SELECT SUM(v) FROM pay"), "Result of SUM exceeds the range of column 'Sum Of v'");
}

}  // namespace

namespace {

// Many rows in few groups: folded in memory, with any bound, they give
// what a plain count of the rows gives.
class SqlFoldingTest : public SqlTest {
protected:
  static constexpr int RowCount = 600;
  static constexpr int GroupCount = 7;

  void SetUp() override {
    SqlTest::SetUp();
    Exec("CREATE TABLE t (g CHAR(8), n INTEGER, f FLOAT)");
    TQueryStatement& insert = Prepare("INSERT INTO t VALUES (?, ?, ?)");
    for (int i = 0; i < RowCount; ++i) {
      TSqlParamValue group, number, real;
      group.DataType = dtString;
      group.IsNull = false;
      group.Bytes = i % 11 == 0 ? std::string("G") : "g" + std::to_string(i % GroupCount);
      number.DataType = dtInteger;
      number.IsNull = i % 13 == 0;
      const int32_t value = i;
      if (!number.IsNull) number.Bytes.assign(reinterpret_cast<const char*>(&value), sizeof value);
      real.DataType = dtFloat;
      real.IsNull = false;
      const double half = i / 2.0;
      real.Bytes.assign(reinterpret_cast<const char*>(&half), sizeof half);
      insert.SetParams({group, number, real});
      insert.Execute();
    }
    statements.pop_back();
  }

  // The expected groups, computed here.
  static TRows Expected() {
    std::map<std::string, std::array<double, 5>> totals;  // count, count(n), sum(n), max(n), sum(f)
    for (int i = 0; i < RowCount; ++i) {
      auto& t = totals[i % 11 == 0 ? std::string("G") : "g" + std::to_string(i % GroupCount)];
      t[0] += 1;
      t[4] += i / 2.0;
      if (i % 13 == 0) continue;
      t[1] += 1;
      t[2] += i;
      t[3] = std::max(t[3], double(i));
    }
    TRows rows;
    char text[160];
    for (const auto& [group, t] : totals) {
      std::snprintf(text, sizeof text, "%s|%g|%g|%g|%g|%g", group.c_str(), t[0], t[1], t[2], t[3], t[4] / t[0]);
      rows.push_back(text);
    }
    return rows;
  }

  TRows Grouped(size_t maxBytes, const std::string& having = "") {
    TQueryStatement& statement =
        Prepare("SELECT g, COUNT(*), COUNT(n), SUM(n), MAX(n), AVG(f) FROM t GROUP BY g" + having);
    statement.MainQuery().Run.MaxFoldedBytes = maxBytes;
    return Rows(statement.Execute());
  }
};

TEST_F(SqlFoldingTest, GroupsFoldedInMemoryOrNotGiveTheSameTotals) {
  const TRows expected = Expected();
  EXPECT_EQ(Grouped(DefaultMaxFoldedBytes), expected);
  // A bound that holds a few groups only: the rest reach the sort as rows.
  EXPECT_EQ(Grouped(700), expected);
  EXPECT_EQ(Grouped(0), expected);
  TRows big;
  for (const std::string& row : expected)
    if (row.rfind("G|", 0) != 0) big.push_back(row);
  EXPECT_EQ(Grouped(700, " HAVING COUNT(*) > 60"), big);
}

TEST_F(SqlFoldingTest, DistinctRowsFoldedInMemoryOrNot) {
  for (size_t maxBytes : {DefaultMaxFoldedBytes, size_t(500), size_t(0)}) {
    TQueryStatement& statement = Prepare("SELECT DISTINCT g FROM t");
    statement.MainQuery().Run.MaxFoldedBytes = maxBytes;
    EXPECT_EQ(Rows(statement.Execute()), (TRows{"G", "g0", "g1", "g2", "g3", "g4", "g5", "g6"})) << maxBytes;
    // The maximum row count still counts the rows gathered before folding.
    TQueryStatement& limited = Prepare("SELECT DISTINCT g FROM t");
    limited.MainQuery().Run.MaxFoldedBytes = maxBytes;
    limited.SetMaxRowCount(3);
    EXPECT_EQ(Rows(limited.Execute()), (TRows{"G", "g1", "g2"})) << maxBytes;
    // Hundreds of values: the values met grow their room several times.
    TQueryStatement& many = Prepare("SELECT DISTINCT n, g FROM t");
    many.MainQuery().Run.MaxFoldedBytes = maxBytes;
    const TRows rows = Rows(many.Execute());
    EXPECT_EQ(rows.size(), size_t(RowCount - RowCount / 13 - 1 + 8)) << maxBytes;
    EXPECT_EQ(std::set<std::string>(rows.begin(), rows.end()).size(), rows.size()) << maxBytes;
  }
}

// The comparison of a held key with a row's bytes (the fold's, the hashed
// join's): every length up to past the longest compared by words, with one
// byte changed at every place (and each byte's bits in turn), tells them
// apart; a copy is alike.
TEST(SqlWordHashTest, BytesAlikeFindsADifferenceAtAnyPlace) {
  for (size_t count = 0; count <= 70; ++count) {
    std::vector<char> held(count);
    std::vector<uint8_t> row(count);
    for (size_t i = 0; i < count; ++i) held[i] = char(row[i] = uint8_t('a' + i));
    EXPECT_TRUE(BytesAlike(held.data(), row.data(), count)) << count;
    for (size_t at = 0; at < count; ++at)
      for (int bit = 0; bit < 8; ++bit) {
        row[at] ^= uint8_t(1 << bit);
        EXPECT_FALSE(BytesAlike(held.data(), row.data(), count)) << count << " at " << at << " bit " << bit;
        row[at] ^= uint8_t(1 << bit);
      }
  }
}

}  // namespace
