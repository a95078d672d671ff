// Small inner tables read into memory by key: the big table drives and
// reads in sequence, and the rows are those the per-row filters give
// (NOJOINOPTIMIZE keeps the filters), NULL keys and all.

#include <algorithm>
#include <cstring>
#include <iterator>

#include "sqlJoinHash.h"
#include "sqlTestSupport.h"

namespace {

class SqlJoinHashTest : public SqlTest {
protected:
  void SetUp() override {
    SqlTest::SetUp();
    Exec("CREATE TABLE digit (n INTEGER, s SMALLINT)");
    for (int n = 0; n < 10; ++n) Exec("INSERT INTO digit VALUES (" + std::to_string(n) + ", " + std::to_string(n) + ")");
    // MinHashDriverRows rows at least: big enough to drive.
    Exec("CREATE TABLE big (k INTEGER, code CHAR(10), day DATE, small SMALLINT)");
    Exec("INSERT INTO big SELECT a.n * 100 + b.n * 10 + c.n, 'c' || CAST(c.n AS CHAR(2)), "
         "CAST('2024-01-01' AS DATE) + b.n, a.s FROM digit a, digit b, digit c");
    Exec("UPDATE big SET code = NULL WHERE k < 30");
    Exec("CREATE TABLE tag (code CHAR(10), label CHAR(10), day DATE, small INTEGER)");
    for (int n = 0; n < 12; n += 2)
      Exec("INSERT INTO tag VALUES ('c" + std::to_string(n) + "', 'L" + std::to_string(n) + "', '2024-01-0" +
           std::to_string(n % 9 + 1) + "', " + std::to_string(n % 5) + ")");
    Exec("INSERT INTO tag (label, small) VALUES ('nocode', 1)");
  }

  TRows Sorted(TRows rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  // The rows with the tables read into memory, checked against the rows
  // of the per-row filters and those of a second execution (which reads
  // the tables again); the plan is handed to check.
  template <typename Check>
  TRows Hashed(const std::string& text, Check check) {
    TQueryStatement& statement = Prepare(text);
    const TRows rows = Sorted(Rows(statement.Execute()));
    check(statement.MainQuery());
    EXPECT_EQ(Sorted(Rows(statement.Execute())), rows) << text;
    EXPECT_EQ(rows, Sorted(Query(text + " NOJOINOPTIMIZE"))) << text;
    return rows;
  }

  // The rows the run read into memory for the plan's step; nil when the
  // step keeps its filter.
  static const TJoinHash* HashOf(const TDataQuery& query, size_t step) {
    return query.Run.Joins.StepHashes.at(step).get();
  }
  static const std::string& Driver(const TDataQuery& query) {
    return query.Parsed.Sources.Tables[query.Plan.Joins.Steps.front().Source]->CorrelationName;
  }
};

TEST_F(SqlJoinHashTest, TheBigTableDrivesAndTheSmallOneIsReadByKey) {
  ASSERT_GE(std::stoi(Query("SELECT COUNT(*) FROM big").front()), MinHashDriverRows);
  const TRows rows = Hashed("SELECT b.k, t.label FROM tag t JOIN big b ON b.code = t.code", [](TDataQuery& query) {
    ASSERT_EQ(query.Plan.Joins.Steps.size(), 2u);
    EXPECT_EQ(Driver(query), "b");
    EXPECT_TRUE(query.Plan.Joins.Steps[1].Hashed);
    EXPECT_NE(HashOf(query, 1), nullptr);
  });
  // Codes c0..c8 (even) match, less the NULL codes of keys below 30 (an
  // outer NULL key is left to the filter, whatever it makes of NULL).
  EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const std::string& row) { return row.find("|L") != std::string::npos; }),
            5 * (100 - 3));
  EXPECT_TRUE(std::find(rows.begin(), rows.end(), "24|L4") == rows.end());
  EXPECT_TRUE(std::find(rows.begin(), rows.end(), "34|L4") != rows.end());
}

TEST_F(SqlJoinHashTest, SeveralKeysOfEveryFamily) {
  // A date, a small integer against an integer, and a computed outer side.
  Hashed("SELECT b.k, t.label FROM big b, tag t WHERE t.day = b.day AND t.small = b.small AND t.code = b.code",
         [](TDataQuery& query) { EXPECT_NE(HashOf(query, 1), nullptr); });
  Hashed("SELECT b.k, t.label FROM big b JOIN tag t ON t.small = b.k - 5 WHERE b.k < 40",
         [](TDataQuery&) {});
  // Memo columns of the rows kept in memory are read through their table.
  Exec("CREATE TABLE note (code CHAR(10), body BLOB(1, 1))");
  Exec("INSERT INTO note VALUES ('c3', 'three, at some length to fill a block or two of the memo')");
  Exec("INSERT INTO note VALUES ('c7', 'seven')");
  const TRows notes =
      Hashed("SELECT b.k, n.body FROM big b JOIN note n ON n.code = b.code WHERE b.k < 120",
             [](TDataQuery& query) { EXPECT_NE(HashOf(query, 1), nullptr); });
  EXPECT_EQ(notes.size(), 18u);
  EXPECT_EQ(notes.back(), "97|seven");
  // Conditions beside the key: a single-table filter on the inner table and
  // a row-by-row remainder.
  Hashed(
      "SELECT b.k, t.label FROM big b JOIN tag t ON t.code = b.code WHERE t.label <> 'L2' AND (b.k > 900 OR "
      "t.small = 3)",
      [](TDataQuery& query) { EXPECT_NE(HashOf(query, 1), nullptr); });
}

// An outer text column is keyed from its stored bytes: a key filling its
// field and one a character shorter (looked up where the row holds it),
// two inner rows of one key, case variants and codes without a partner
// give the rows the filters give.
TEST_F(SqlJoinHashTest, OuterTextKeysFromTheirRecords) {
  Exec("UPDATE big SET code = 'abcdefghij' WHERE k >= 500 AND k < 505");
  Exec("UPDATE big SET code = 'abcdefghi' WHERE k >= 505 AND k < 508");
  Exec("UPDATE big SET code = 'C4' WHERE k >= 600 AND k < 620");
  Exec("INSERT INTO tag (code, label) VALUES ('abcdefghij', 'full')");
  Exec("INSERT INTO tag (code, label) VALUES ('abcdefghi', 'short')");
  Exec("INSERT INTO tag (code, label) VALUES ('abcdefghi', 'twin')");
  Exec("INSERT INTO tag (code, label) VALUES ('C4', 'upper')");
  Exec("INSERT INTO tag (code, label) VALUES ('zz', 'none')");
  const TRows rows = Hashed("SELECT b.k, t.label FROM tag t JOIN big b ON b.code = t.code",
                            [](TDataQuery& query) { EXPECT_NE(HashOf(query, 1), nullptr); });
  auto count = [&rows](const std::string& label) {
    return std::count_if(rows.begin(), rows.end(),
                         [&](const std::string& row) { return row.ends_with("|" + label); });
  };
  EXPECT_EQ(count("full"), 5);
  EXPECT_EQ(count("short"), 3);
  EXPECT_EQ(count("twin"), 3);
  EXPECT_EQ(count("upper"), 20);
  EXPECT_EQ(count("none"), 0);
}

// Outer texts ending on either side of an eight-byte boundary, one filling
// its field, ones an update left shorter over a longer text, ones with
// bytes after their end (as another program may leave them) and NULLs:
// each finds exactly the inner rows of its text, two of one key included,
// hashed in the pass over its words that finds its end.
TEST_F(SqlJoinHashTest, OuterTextsEndingAtWordEdges) {
  Exec("CREATE TABLE edge (k INTEGER, code CHAR(17))");
  Exec("INSERT INTO edge (k) SELECT a.n * 100 + b.n * 10 + c.n FROM digit a, digit b, digit c");
  Exec("CREATE TABLE edgetag (code CHAR(17), label CHAR(10))");
  const struct {
    const char* Text;
    const char* Label;
    int Rows;  // outer rows of the text
  } keys[] = {{"abcdefg", "7", 50 + 10},           {"abcdefgh", "8", 50 + 10 + 1}, {"abcdefghi", "9", 50},
              {"abcdefghijklmno", "15", 50 + 1}, {"abcdefghijklmnop", "16", 50}, {"abcdefghijklmnopq", "17", 50}};
  for (int i = 0; i < int(std::size(keys)); ++i) {
    Exec("UPDATE edge SET code = '" + std::string(keys[i].Text) + "' WHERE k >= " + std::to_string(i * 100) +
         " AND k < " + std::to_string(i * 100 + 50));
    Exec("INSERT INTO edgetag VALUES ('" + std::string(keys[i].Text) + "', '" + keys[i].Label + "')");
  }
  Exec("INSERT INTO edgetag VALUES ('abcdefghi', '9 twin')");
  Exec("INSERT INTO edgetag VALUES ('abcdef', 'prefix')");
  Exec("UPDATE edge SET code = 'abcdefghijklmnopq' WHERE k >= 700 AND k < 720");
  Exec("UPDATE edge SET code = 'abcdefgh' WHERE k >= 700 AND k < 710");
  Exec("UPDATE edge SET code = 'abcdefg' WHERE k >= 710 AND k < 720");
  {
    const auto cursor = NewTableCursor(directory);
    cursor->SetOpenOptions({.TableName = "edge"});
    cursor->Open();
    const TFieldDefinition& code = *cursor->Fields().FieldAt(2);
    for (const std::string text : {"abcdefgh", "abcdefghijklmno"}) {
      std::vector<uint8_t> record(cursor->Fields().CursorRecordSize(), 0);
      cursor->Fields().ClearRecord(record.data());
      cursor->Fields().WriteField(1, record.data(), int32_t(2000 + text.size()));
      cursor->Fields().WriteField(2, record.data(), text);
      std::memset(record.data() + code.RecordOffset + 2 + text.size(), 'z', size_t(code.StoredSize) - 1 - text.size());
      cursor->InsertRecord(record.data());
    }
    cursor->Close(TTemporaryContents::Keep);
  }
  const TRows rows = Hashed("SELECT e.k, t.label FROM edgetag t JOIN edge e ON e.code = t.code",
                            [](TDataQuery& query) { EXPECT_NE(HashOf(query, 1), nullptr); });
  auto count = [&rows](const std::string& label) {
    return std::count_if(rows.begin(), rows.end(), [&](const std::string& row) { return row.ends_with("|" + label); });
  };
  for (const auto& key : keys) EXPECT_EQ(count(key.Label), key.Rows) << key.Text;
  EXPECT_EQ(count("9 twin"), 50);
  EXPECT_EQ(count("prefix"), 0);
  EXPECT_EQ(rows.size(), size_t(60 + 61 + 50 + 51 + 50 + 50 + 50));
}

// Rows are read where the scan's batches and the table in memory hold
// them: over a table of wide records (many batches), every joined row and
// every distinct value is the one of its own record.
TEST_F(SqlJoinHashTest, RowsReadWhereTheyLieAreTheirOwnRecords) {
  Exec("CREATE TABLE wide (k INTEGER, code CHAR(10), pad CHAR(250))");
  Exec("INSERT INTO wide SELECT a.n * 1000 + b.n * 100 + c.n * 10 + d.n, 'c' || CAST(d.n AS CHAR(2)), "
       "'p' || CAST(a.n * 1000 + b.n * 100 + c.n * 10 + d.n AS CHAR(8)) FROM digit a, digit b, digit c, digit d "
       "WHERE a.n < 3");
  const TRows rows = Hashed("SELECT w.k, w.pad, t.label FROM wide w JOIN tag t ON t.code = w.code",
                            [](TDataQuery& query) { EXPECT_NE(HashOf(query, 1), nullptr); });
  ASSERT_EQ(rows.size(), 1500u);
  for (const std::string& row : rows) {
    const int k = std::stoi(row);
    EXPECT_EQ(row, std::to_string(k) + "|p" + std::to_string(k) + "|L" + std::to_string(k % 10)) << row;
  }
  EXPECT_EQ(Sorted(Query("SELECT DISTINCT code FROM wide")),
            (TRows{"c0", "c1", "c2", "c3", "c4", "c5", "c6", "c7", "c8", "c9"}));
  TRows last;
  for (int k = 2990; k < 3000; ++k) last.push_back("p" + std::to_string(k));
  EXPECT_EQ(Sorted(Query("SELECT DISTINCT pad FROM wide WHERE k >= 2990")), last);
  EXPECT_EQ(Query("SELECT DISTINCT pad FROM wide").size(), 3000u);
}

TEST_F(SqlJoinHashTest, JoinsThatKeepTheirFilters) {
  auto filtered = [](TDataQuery& query) {
    for (size_t step = 0; step < query.Plan.Joins.Steps.size(); ++step)
      EXPECT_EQ(HashOf(query, step), nullptr) << query.Parsed.Sources.Tables[query.Plan.Joins.Steps[step].Source]->CorrelationName;
  };
  // Not an equality; a left join; texts where the query evaluates in a
  // language (its first table's).
  Hashed("SELECT b.k, t.label FROM big b JOIN tag t ON t.small > b.small WHERE b.k < 50", filtered);
  Hashed("SELECT b.k, t.label FROM big b LEFT JOIN tag t ON t.code = b.code WHERE b.k < 60", filtered);
  Exec("CREATE TABLE gtag (code CHAR(10), label CHAR(10), LANGUAGE 'German (Standard)')");
  Exec("INSERT INTO gtag VALUES ('c2', 'zwei')");
  Hashed("SELECT b.k, g.label FROM gtag g JOIN big b ON g.code = b.code", filtered);
  // Small beside small: the smallest drives as before.
  Hashed("SELECT t.label, d.n FROM digit d JOIN tag t ON d.n = t.small",
         [](TDataQuery& query) { EXPECT_EQ(Driver(query), "t"); });
}

}  // namespace
