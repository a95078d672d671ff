// Seeded statements within the dialect run here and by SQLite over the same
// rows; every difference in their results is a failure that prints the
// statement. The dialect's documented differences are written out on
// SQLite's side: NULL is two-valued (ordering comparisons take a NULL as
// its zero value, "=" and "<>" take two NULLs as equal, a predicate is never
// unknown), an empty text result is NULL, || takes a NULL as empty, and
// dividing whole numbers gives a float. ENG_PEER_SEED=<seed> runs one seed.

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "sqlTestSupport.h"

namespace {

constexpr uint32_t FirstSeed = 1;
constexpr uint32_t SeedCount = 5;
constexpr int StatementsPerSeed = 45;
constexpr int RowsPerTable = 40;

// One piece of a statement, written in each dialect.
struct TText {
  std::string Ours, Peer;
};

TText operator+(const TText& a, const TText& b) { return {a.Ours + b.Ours, a.Peer + b.Peer}; }
TText Same(const std::string& text) { return {text, text}; }

// A text both sides write alike; functions whose peer form differs say so.
enum TKind { kInt, kFloat, kText, kDate, kMemo };

struct TColumn {
  const char* Name;
  TKind Kind;
};
const TColumn TableA[] = {{"id", kInt}, {"n", kInt}, {"f", kFloat}, {"s", kText}, {"d", kDate}, {"m", kMemo}};
const TColumn TableB[] = {{"k", kInt}, {"t", kText}};

// The rows of a result as the SQL tests write them, from SQLite.
class TPeer {
public:
  TPeer() {
    sqlite3_open(":memory:", &db);
    Exec("PRAGMA case_sensitive_like = ON");
  }
  ~TPeer() { sqlite3_close(db); }
  TPeer(const TPeer&) = delete;
  TPeer& operator=(const TPeer&) = delete;

  std::string Exec(const std::string& text) {
    char* error = nullptr;
    sqlite3_exec(db, text.c_str(), nullptr, nullptr, &error);
    std::string message = error ? error : "";
    sqlite3_free(error);
    return message;
  }
  TRows Query(const std::string& text, std::string& error) {
    TRows rows;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, text.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      error = sqlite3_errmsg(db);
      return rows;
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        if (i > 0) row += "|";
        char number[64];
        switch (sqlite3_column_type(statement, i)) {
          case SQLITE_NULL:
            row += "NULL";
            break;
          case SQLITE_INTEGER:
            row += std::to_string(sqlite3_column_int64(statement, i));
            break;
          case SQLITE_FLOAT:
            std::snprintf(number, sizeof number, "%g", sqlite3_column_double(statement, i));
            row += number;
            break;
          default:
            row += reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
        }
      }
      rows.push_back(row);
    }
    sqlite3_finalize(statement);
    return rows;
  }

private:
  sqlite3* db = nullptr;
};

class TStatements {
public:
  explicit TStatements(uint32_t seed) : random(seed) {}

  int Below(int n) { return int(random() % uint32_t(n)); }
  bool OneIn(int n) { return Below(n) == 0; }

  std::string Word() {
    static const char* const words[] = {"al", "bo", "cy", "dee", "eve", "fay", "Gus", "hal", "Ivy", "jo"};
    return words[Below(10)];
  }
  std::string TextConstant() { return "'" + Word() + (OneIn(2) ? std::to_string(Below(9)) : "") + "'"; }
  std::string DateConstant() {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", 2023 + Below(3), 1 + Below(12), 1 + Below(28));
    return text;
  }
  std::string Constant(TKind kind) {
    switch (kind) {
      case kInt:
        return std::to_string(Below(60) - 10);
      case kFloat:
        return std::to_string(Below(400) / 4) + ".25";
      case kDate:
        return "'" + DateConstant() + "'";
      default:
        return TextConstant();
    }
  }
  std::string Row(int id) {
    auto maybe = [this](const std::string& value) { return OneIn(6) ? std::string("NULL") : value; };
    return "(" + std::to_string(id) + ", " + maybe(std::to_string(Below(30))) + ", " + maybe(Constant(kFloat)) + ", " +
           maybe(TextConstant()) + ", " + maybe(Constant(kDate)) + ", " + maybe("'" + Word() + " memo " + Word() + "'") +
           ")";
  }
  std::string RowB() {
    return "(" + (OneIn(6) ? std::string("NULL") : std::to_string(Below(30))) + ", " + TextConstant() + ")";
  }

  // A value of the kind over table a's columns (qualified when asked).
  TText Value(TKind kind, const std::string& q = "") {
    const std::string n = q + "n", id = q + "id", f = q + "f", s = q + "s", d = q + "d", m = q + "m";
    switch (kind) {
      case kInt:
        switch (Below(6)) {
          case 0:
            return Same(id);
          case 1:
            return Same(n + " + " + std::to_string(Below(9)));
          case 2:
            return Same(n + " * " + std::to_string(Below(4) + 1) + " - " + id);
          case 3:
            return {"EXTRACT(YEAR FROM " + d + ")", "CAST(strftime('%Y', " + d + ") AS INTEGER)"};
          case 4:
            return {"EXTRACT(MONTH FROM " + d + ")", "CAST(strftime('%m', " + d + ") AS INTEGER)"};
          default:
            return Same(n);
        }
      case kFloat:
        switch (Below(3)) {
          case 0:
            return {n + " / 4", "CAST(" + n + " AS REAL) / 4"};
          case 1:
            return Same(f + " * 2");
          default:
            return Same(f);
        }
      case kDate:
        switch (Below(3)) {
          case 0:
            return {d + " + 30", "date(" + d + ", '+30 days')"};
          case 1:
            return {d + " - 1", "date(" + d + ", '-1 days')"};
          default:
            return Same(d);
        }
      default: {
        const std::string text = kind == kMemo ? m : s;
        const int from = 1 + Below(3), length = 1 + Below(4);
        switch (Below(7)) {
          case 0:
            return Same("UPPER(" + text + ")");
          case 1:
            return Same("LOWER(" + text + ")");
          case 2:
            return {"SUBSTRING(" + text + " FROM " + std::to_string(from) + " FOR " + std::to_string(length) + ")",
                    "NULLIF(substr(" + text + ", " + std::to_string(from) + ", " + std::to_string(length) + "), '')"};
          case 3: {
            const std::string c = std::string(1, "aeoy"[Below(4)]);
            static const char* const ours[] = {"BOTH", "LEADING", "TRAILING"};
            static const char* const peer[] = {"trim", "ltrim", "rtrim"};
            const int side = Below(3);
            return {"TRIM(" + std::string(ours[side]) + " '" + c + "' FROM " + text + ")",
                    "NULLIF(" + std::string(peer[side]) + "(" + text + ", '" + c + "'), '')"};
          }
          case 4:
            return {text + " || '_x'", "(COALESCE(" + text + ", '') || '_x')"};
          default:
            return Same(text);
        }
      }
    }
  }

  // A condition, never unknown on either side.
  TText Predicate(int depth = 0, const std::string& q = "") {
    if (depth < 2 && OneIn(3)) {
      const TText left = Predicate(depth + 1, q), right = Predicate(depth + 1, q);
      const std::string op = OneIn(2) ? " AND " : " OR ";
      return TText{"(", "("} + left + Same(op) + right + TText{")", ")"};
    }
    if (depth < 2 && OneIn(6)) return TText{"NOT (", "NOT ("} + Predicate(depth + 1, q) + TText{")", ")"};
    static const TKind kinds[] = {kInt, kInt, kFloat, kText, kDate, kMemo};
    const TKind kind = kinds[Below(6)];
    const TText value = Value(kind, q);
    static const char* const zero[] = {"0", "0.0", "''", "'0000-00-00'"};
    const std::string z = zero[kind == kInt ? 0 : kind == kFloat ? 1 : kind == kDate ? 3 : 2];
    const std::string c = Constant(kind);
    switch (Below(8)) {
      case 0:
        return {value.Ours + " IS NULL", "(" + value.Peer + ") IS NULL"};
      case 1:
        return {value.Ours + " IS NOT NULL", "(" + value.Peer + ") IS NOT NULL"};
      case 2:
        return {value.Ours + " = " + c, "(" + value.Peer + ") IS " + c};
      case 3:
        return {value.Ours + " <> " + c, "(" + value.Peer + ") IS NOT " + c};
      case 4: {
        const std::string other = Constant(kind);
        const std::string low = std::min(c, other), high = std::max(c, other);
        return {value.Ours + " BETWEEN " + low + " AND " + high,
                "COALESCE(" + value.Peer + ", " + z + ") BETWEEN " + low + " AND " + high};
      }
      case 5: {
        if (kind == kText || kind == kMemo) {
          const std::string pattern = "'" + Word().substr(0, 1) + "%'";
          return {value.Ours + " LIKE " + pattern, "COALESCE((" + value.Peer + ") LIKE " + pattern + ", 0)"};
        }
        const std::string list = "(" + c + ", " + Constant(kind) + ")";
        return {value.Ours + " IN " + list, "COALESCE((" + value.Peer + ") IN " + list + ", 0)"};
      }
      default: {
        static const char* const ops[] = {"<", ">", "<=", ">="};
        const std::string op = ops[Below(4)];
        return {value.Ours + " " + op + " " + c, "COALESCE(" + value.Peer + ", " + z + ") " + op + " " + c};
      }
    }
  }

  // A statement in both dialects, and whether its rows come in a fixed order.
  struct TStatement {
    TText Text;
    bool Ordered = false;
    bool Changes = false;
  };

  TStatement Next() {
    switch (Below(9)) {
      case 0:
      case 1: {
        const bool distinct = OneIn(4);
        // DISTINCT refuses a memo column.
        const TText a = Value(static_cast<TKind>(Below(distinct ? 4 : 5))), b = Value(static_cast<TKind>(Below(4)));
        const TText where = Predicate();
        const std::string head = distinct ? "SELECT DISTINCT " : "SELECT ";
        return {Same(head) + a + Same(" AS c1, ") + b + Same(" AS c2 FROM a WHERE ") + where, false};
      }
      case 2: {
        const TText value = Value(static_cast<TKind>(Below(4)));
        return {Same("SELECT id, ") + value + Same(" AS v FROM a WHERE ") + Predicate() + Same(" ORDER BY id") +
                    Same(OneIn(2) ? " DESC" : ""),
                true};
      }
      case 3: {
        static const char* const groups[] = {"n", "s", "d"};
        const std::string g = groups[Below(3)];
        TText text = Same("SELECT " + g + ", COUNT(*), COUNT(f), SUM(n), MIN(d), MAX(f), AVG(n) FROM a WHERE ") +
                     Predicate() + Same(" GROUP BY " + g);
        if (OneIn(2)) text = text + Same(" HAVING COUNT(*) > 1");
        // COUNT is an integer whatever it counts, so it orders.
        if (OneIn(3))
          return {Same("SELECT " + g + ", COUNT(m) FROM a WHERE ") + Predicate() + Same(" GROUP BY " + g + " ORDER BY 2, 1"),
                  true};
        return {text, false};
      }
      case 4:
        return {Same("SELECT COUNT(*), SUM(n), MIN(n), MAX(d), AVG(f) FROM a WHERE ") + Predicate(), false};
      case 5: {
        const bool left = OneIn(2);
        const std::string join = left ? " LEFT JOIN " : " JOIN ";
        return {TText{"SELECT a.id, b.t, a.s FROM a" + join + "b ON a.n = b.k WHERE ",
                      "SELECT a.id, b.t, a.s FROM a" + join + "b ON a.n IS b.k WHERE "} +
                    Predicate(1, "a."),
                false};
      }
      case 6: {
        const bool in = OneIn(2);
        const std::string sub = "(SELECT k FROM b WHERE k IS NOT NULL AND t LIKE '" + Word().substr(0, 1) + "%')";
        return {TText{"SELECT id, s FROM a WHERE n " + std::string(in ? "IN " : "NOT IN ") + sub,
                      "SELECT id, s FROM a WHERE COALESCE(n " + std::string(in ? "IN " : "NOT IN ") + sub + ", " +
                          (in ? "0" : "1") + ")"},
                false};
      }
      default: {
        const TText where = Predicate();
        const std::string interval = OneIn(3) ? " COMMIT INTERVAL " + std::to_string(1 + Below(3)) : "";
        TText text;
        switch (Below(4)) {
          case 0:
            text = Same("UPDATE a SET n = n + 1 WHERE ") + where;
            break;
          case 1:
            text = Same("UPDATE a SET s = 'zz', f = f + 1 WHERE ") + where;
            break;
          case 2:
            text = Same("DELETE FROM a WHERE ") + where;
            break;
          default:
            text = Same("INSERT INTO a (id, n, s, d) SELECT id + 1000, n, s, d FROM a WHERE ") + where;
        }
        return {TText{text.Ours + interval, text.Peer}, false, true};
      }
    }
  }

private:
  std::mt19937 random;
};

std::string Listed(const TRows& rows) {
  std::string text;
  for (const std::string& row : rows) text += "\n    " + row;
  return text;
}

class SqlPeerTest : public SqlTest {
protected:
  // Our rows, canned and live, against the peer's; "" when all agree.
  std::string Compare(const TStatements::TStatement& statement, TPeer& peer) {
    std::string peerError;
    TRows expected = peer.Query(statement.Text.Peer, peerError);
    if (!peerError.empty()) return "the peer refused " + statement.Text.Peer + ": " + peerError;
    if (!statement.Ordered) std::sort(expected.begin(), expected.end());
    for (bool live : {false, true}) {
      TRows ours;
      try {
        ours = Query(statement.Text.Ours, live);
      } catch (const EEngineError& error) {
        return std::string(live ? "live: " : "canned: ") + error.Message;
      }
      if (!statement.Ordered) std::sort(ours.begin(), ours.end());
      if (ours != expected)
        return std::string(live ? "live" : "canned") + " rows:" + Listed(ours) + "\n  SQLite's rows (" +
               statement.Text.Peer + "):" + Listed(expected);
    }
    return {};
  }
};

std::vector<uint32_t> Seeds() {
  if (const char* alone = std::getenv("ENG_PEER_SEED")) return {uint32_t(std::strtoul(alone, nullptr, 10))};
  std::vector<uint32_t> seeds;
  for (uint32_t seed = FirstSeed; seed < FirstSeed + SeedCount; ++seed) seeds.push_back(seed);
  return seeds;
}

TEST_F(SqlPeerTest, StatementsAgreeWithSQLite) {
  const TStatements::TStatement wholeTable{
      Same("SELECT id, n, f, s, d, m FROM a"), false};
  for (uint32_t seed : Seeds()) {
    TStatements statements(seed);
    TPeer peer;
    const std::string tableA = "CREATE TABLE a (id INTEGER, n INTEGER, f FLOAT, s CHAR(12), d DATE, m BLOB(1, 1))";
    const std::string tableB = "CREATE TABLE b (k INTEGER, t CHAR(8))";
    Exec(tableA);
    Exec(tableB);
    peer.Exec("CREATE TABLE a (id INTEGER, n INTEGER, f REAL, s TEXT, d TEXT, m TEXT)");
    peer.Exec("CREATE TABLE b (k INTEGER, t TEXT)");
    // One transaction for the rows, so that they cost one flush to disk.
    directory->StartTransaction();
    for (int id = 1; id <= RowsPerTable; ++id) {
      const std::string row = statements.Row(id), rowB = statements.RowB();
      Exec("INSERT INTO a VALUES " + row);
      peer.Exec("INSERT INTO a VALUES " + row);
      Exec("INSERT INTO b VALUES " + rowB);
      peer.Exec("INSERT INTO b VALUES " + rowB);
    }
    directory->Commit(true);
    ASSERT_EQ(Compare(wholeTable, peer), "") << "seed " << seed << ": the rows as written";
    for (int i = 0; i < StatementsPerSeed; ++i) {
      const TStatements::TStatement statement = statements.Next();
      if (statement.Changes) {
        std::string ours;
        try {
          Exec(statement.Text.Ours);
        } catch (const EEngineError& error) {
          ours = error.Message;
        }
        const std::string peerError = peer.Exec(statement.Text.Peer);
        EXPECT_EQ(ours, peerError) << "seed " << seed << ": " << statement.Text.Ours;
        EXPECT_EQ(Compare(wholeTable, peer), "") << "seed " << seed << " after " << statement.Text.Ours;
        continue;
      }
      EXPECT_EQ(Compare(statement, peer), "") << "seed " << seed << ": " << statement.Text.Ours;
    }
    Exec("DROP TABLE a");
    Exec("DROP TABLE b");
  }
}

}  // namespace
