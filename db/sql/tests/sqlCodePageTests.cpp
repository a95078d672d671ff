// Tables of different languages keep their texts in different code pages;
// joins, conditions, computed columns, sub-selects and INSERT ... SELECT
// across them compare and return the same texts.

#include <algorithm>

#include "engFieldText.h"
#include "sqlTestSupport.h"

namespace {

class SqlCodePageTest : public SqlTest {
protected:
  void SetUp() override {
    SqlTest::SetUp();
    // u: UTF-8 (language 0); g: Western European code page; r: Cyrillic.
    Exec("CREATE TABLE u (name CHAR(20), n INTEGER)");
    Exec("CREATE TABLE g (name CHAR(20), city CHAR(20), LANGUAGE 'German (Standard)')");
    Exec("CREATE TABLE r (word CHAR(20), n INTEGER, LANGUAGE 'Russian')");
    Exec("INSERT INTO u VALUES ('Müller', 1)");
    Exec("INSERT INTO u VALUES ('Søren', 2)");
    Exec("INSERT INTO u VALUES ('Привет', 3)");
    Exec("INSERT INTO u VALUES ('Plain', 4)");
    Exec("INSERT INTO g VALUES ('Müller', 'Köln')");
    Exec("INSERT INTO g VALUES ('Søren', 'Århus')");
    Exec("INSERT INTO g VALUES ('Plain', 'Bonn')");
    Exec("INSERT INTO r VALUES ('Привет', 3)");
    Exec("INSERT INTO r VALUES ('Plain', 4)");
  }

  // The rows with every text in UTF-8, whatever the answer's code page.
  TRows Utf8Query(const std::string& text) {
    TQueryStatement statement(directory);
    int32_t position = 0;
    statement.Prepare(text, position);
    TTableCursor* answer = statement.Execute();
    TRows rows;
    for (const std::string& row : Rows(answer)) rows.push_back(FieldTextToUtf8(answer->Fields().LanguageId(), row));
    std::sort(rows.begin(), rows.end());
    return rows;
  }
};

TEST_F(SqlCodePageTest, TablesKeepTheirOwnCodePages) {
  TQueryStatement& statement = Prepare("SELECT name FROM g WHERE city = 'Köln'");
  const TRows rows = Rows(statement.Execute());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows.front(), "M\xFCller");  // the code page's byte for ü
}

TEST_F(SqlCodePageTest, JoinsCompareTextsAcrossCodePages) {
  const TRows both = {"Müller|Köln", "Plain|Bonn", "Søren|Århus"};
  EXPECT_EQ(Utf8Query("SELECT u.name, g.city FROM u JOIN g ON u.name = g.name"), both);
  EXPECT_EQ(Utf8Query("SELECT g.name, g.city FROM g JOIN u ON g.name = u.name"), both);
  EXPECT_EQ(Utf8Query("SELECT u.name, g.city FROM u, g WHERE g.name = u.name NOJOINOPTIMIZE"), both);
  EXPECT_EQ(Utf8Query("SELECT g.name, g.city FROM g, u WHERE u.name = g.name NOJOINOPTIMIZE"), both);
  EXPECT_EQ(Utf8Query("SELECT r.word, u.n FROM r JOIN u ON r.word = u.name"), (TRows{"Plain|4", "Привет|3"}));
  EXPECT_EQ(Utf8Query("SELECT u.name, r.n FROM u JOIN r ON u.name = r.word"), (TRows{"Plain|4", "Привет|3"}));
  // A left join keeps the rows without a partner in the other code page.
  EXPECT_EQ(Utf8Query("SELECT u.name, g.city FROM u LEFT JOIN g ON u.name = g.name"),
            (TRows{"Müller|Köln", "Plain|Bonn", "Søren|Århus", "Привет|NULL"}));
}

TEST_F(SqlCodePageTest, RowByRowConditionsAndComputedColumns) {
  // An OR over two tables is tested per joined row, with texts of both.
  EXPECT_EQ(Utf8Query("SELECT u.n FROM u, g WHERE u.name = g.name AND (g.city = 'Köln' OR u.name = 'Søren')"),
            (TRows{"1", "2"}));
  EXPECT_EQ(Utf8Query("SELECT g.city FROM g, u WHERE g.name = u.name AND (u.name = 'Søren' OR g.city = 'Köln')"),
            (TRows{"Köln", "Århus"}));
  EXPECT_EQ(Utf8Query("SELECT g.city || '-' || u.name FROM g, u WHERE g.name = u.name AND u.n < 3"),
            (TRows{"Köln-Müller", "Århus-Søren"}));
  EXPECT_EQ(Utf8Query("SELECT u.name || '→' || g.city FROM u, g WHERE g.name = u.name AND u.n < 3"),
            (TRows{"Müller→Köln", "Søren→Århus"}));
}

TEST_F(SqlCodePageTest, SubSelectsTestValuesOfAnotherCodePage) {
  EXPECT_EQ(Utf8Query("SELECT name FROM u WHERE name IN (SELECT name FROM g)"), (TRows{"Müller", "Plain", "Søren"}));
  EXPECT_EQ(Utf8Query("SELECT name FROM g WHERE name NOT IN (SELECT name FROM u WHERE n > 1)"), (TRows{"Müller"}));
  EXPECT_EQ(Utf8Query("SELECT word FROM r WHERE word IN (SELECT name FROM u)"), (TRows{"Plain", "Привет"}));
}

TEST_F(SqlCodePageTest, InsertFromASelectOfAnotherCodePage) {
  Exec("CREATE TABLE copy (name CHAR(20), city CHAR(20), LANGUAGE 'German (Standard)')");
  EXPECT_EQ(Exec("INSERT INTO copy SELECT name, 'Über' FROM u WHERE n < 3"), 2);
  EXPECT_EQ(Utf8Query("SELECT name, city FROM copy"), (TRows{"Müller|Über", "Søren|Über"}));
  EXPECT_EQ(Utf8Query("SELECT name FROM copy WHERE name = 'Søren'"), (TRows{"Søren"}));
}

TEST_F(SqlCodePageTest, AnswerInTheLanguageAsked) {
  // The answer takes the LANGUAGE given; HAVING reads it in that code page.
  TQueryStatement& statement =
      Prepare("SELECT name, COUNT(*) FROM u GROUP BY name HAVING name <> 'Søren' LANGUAGE 'German (Standard)'");
  TTableCursor* answer = statement.Execute();
  EXPECT_EQ(answer->Fields().LanguageId(), 0x0407);
  TRows rows;
  for (const std::string& row : Rows(answer)) rows.push_back(FieldTextToUtf8(answer->Fields().LanguageId(), row));
  std::sort(rows.begin(), rows.end());
  // A text the code page cannot hold comes as question marks.
  EXPECT_EQ(rows, (TRows{"??????|1", "Müller|1", "Plain|1"}));
}

}  // namespace

// Numbers in a statement's text are scanned by the session's language,
// date texts compared with a column read by the source table's, and values
// made text by the source table's: one after the other, in whichever order
// the languages come, each statement by its own rules.
TEST_F(SqlCodePageTest, NumbersFollowTheSessionAndDatesTheTable) {
  for (const char* table : {"ud", "gd"}) {
    const std::string german = std::string(table) == "gd" ? ", LANGUAGE 'German (Standard)'" : "";
    Exec(std::string("CREATE TABLE ") + table + " (n INTEGER, d DATE, x FLOAT" + german + ")");
    const bool dotted = !german.empty();
    for (int n = 1; n <= 3; ++n) {
      const std::string day = std::to_string(28 + n);
      const std::string date = dotted ? day + ".01.2004" : "2004-01-" + day;
      Exec(std::string("INSERT INTO ") + table + " VALUES (" + std::to_string(n) + ", '" + date + "', " +
           std::to_string(n) + ".25)");
    }
  }
  struct TCase {
    uint16_t Session;
    const char* Text;
    TRows Rows;  // empty: refused
  } cases[] = {
      {0, "SELECT n FROM ud WHERE d >= '2004-01-30' AND x > 1.5", {"2", "3"}},
      {0x0407, "SELECT n FROM ud WHERE d >= '2004-01-30' AND x > 2,5", {"3"}},
      {0x0407, "SELECT n FROM gd WHERE d >= '30.01.2004' AND x > 1,5", {"2", "3"}},
      {0, "SELECT n FROM gd WHERE d >= '30.01.2004' AND x > 2.5", {"3"}},
      {0x0407, "SELECT n FROM ud WHERE d >= '30.01.2004'", {}},
      {0, "SELECT n FROM gd WHERE d >= '2004-01-30'", {}},
      {0x0407, "SELECT CAST(d AS CHAR(10)) FROM ud WHERE n = 2", {"2004-01-30"}},
      {0, "SELECT CAST(d AS CHAR(10)) FROM gd WHERE n = 2", {"30.01.2004"}},
      {0x0409, "SELECT n, CAST(d AS CHAR(10)) FROM gd WHERE x < 2.0", {"1|29.01.2004"}},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Text);
    session->LanguageID = test.Session;
    if (test.Rows.empty()) {
      EXPECT_NE(ErrorOf(test.Text), "");
    } else {
      EXPECT_EQ(Utf8Query(test.Text), test.Rows);
    }
  }
  session->LanguageID = 0;
}
