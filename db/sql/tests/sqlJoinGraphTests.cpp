// Join graphs with cycles: whatever the order of the conditions, of the
// tables in FROM and of each comparison's sides, and whichever table
// drives, every table is placed once and the rows are those a brute-force
// walk over every combination gives.

#include <algorithm>
#include <array>
#include <set>
#include <tuple>

#include "sqlTestSupport.h"

namespace {

struct TPair {
  int First;
  int Second;
};

// a(x, y), b(y, z), c(z, x): the triangle a.y = b.y, b.z = c.z, c.x = a.x.
const std::vector<TPair> TableA = {{1, 1}, {2, 1}, {3, 2}, {4, 3}, {5, 5}};
const std::vector<TPair> TableB = {{1, 10}, {1, 20}, {2, 20}, {3, 30}, {9, 90}};
const std::vector<TPair> TableC = {{10, 1}, {20, 2}, {20, 3}, {30, 9}, {90, 5}};

class SqlJoinGraphTest : public SqlTest {
protected:
  void SetUp() override {
    SqlTest::SetUp();
    Load("a", "x", "y", TableA);
    Load("b", "y", "z", TableB);
    Load("c", "z", "x", TableC);
  }

  void Load(const std::string& table, const std::string& first, const std::string& second,
            const std::vector<TPair>& rows) {
    Exec("CREATE TABLE " + table + " (" + first + " INTEGER, " + second + " INTEGER)");
    for (const TPair& row : rows)
      Exec("INSERT INTO " + table + " VALUES (" + std::to_string(row.First) + ", " + std::to_string(row.Second) + ")");
  }

  // Runs the statement, checks that the plan places each table once, and
  // gives the rows sorted.
  TRows PlacedOnce(const std::string& text) {
    TQueryStatement statement(directory);
    int32_t position = 0;
    statement.Prepare(text, position);
    TRows rows = Rows(statement.Execute());
    const TDataQuery& query = statement.MainQuery();
    std::set<size_t> placed;
    for (const TJoinStep& step : query.Plan.Joins.Steps) placed.insert(step.Source);
    EXPECT_EQ(query.Plan.Joins.Steps.size(), query.Parsed.Sources.Tables.size()) << text;
    EXPECT_EQ(placed.size(), query.Parsed.Sources.Tables.size()) << text;
    std::sort(rows.begin(), rows.end());
    return rows;
  }
};

// Every (a, b, c) combination that meets the conditions, as "ax|bz|cz".
template <typename Holds>
TRows BruteForce(Holds holds) {
  TRows rows;
  for (const TPair& a : TableA)
    for (const TPair& b : TableB)
      for (const TPair& c : TableC)
        if (holds(a, b, c))
          rows.push_back(std::to_string(a.First) + "|" + std::to_string(b.Second) + "|" + std::to_string(c.First));
  std::sort(rows.begin(), rows.end());
  return rows;
}

TEST_F(SqlJoinGraphTest, TriangleInEveryOrderPlacesEachTableOnce) {
  const TRows expected = BruteForce([](const TPair& a, const TPair& b, const TPair& c) {
    return a.Second == b.First && b.Second == c.First && c.Second == a.First;
  });
  ASSERT_FALSE(expected.empty());
  // Each condition both ways round.
  const std::array<std::array<std::string, 2>, 3> conditions = {{
      {"a.y = b.y", "b.y = a.y"},
      {"b.z = c.z", "c.z = b.z"},
      {"c.x = a.x", "a.x = c.x"},
  }};
  std::array<int, 3> order = {0, 1, 2};
  const std::array<std::string, 6> fromLists = {"a, b, c", "a, c, b", "b, a, c", "b, c, a", "c, a, b", "c, b, a"};
  int variant = 0;
  do {
    for (const std::string& from : fromLists) {
      ++variant;
      std::string where;
      for (int i : order) {
        if (!where.empty()) where += " AND ";
        where += conditions[size_t(i)][size_t((variant >> i) & 1)];
      }
      const std::string text = "SELECT a.x, b.z, c.z FROM " + from + " WHERE " + where;
      EXPECT_EQ(PlacedOnce(text), expected) << text;
      EXPECT_EQ(PlacedOnce(text + " NOJOINOPTIMIZE"), expected) << text;
    }
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(SqlJoinGraphTest, EveryTableMayDriveATriangle) {
  // A filter that leaves one row makes that table the smallest, so each
  // table in turn drives and the cycle closes at a different place.
  const std::array<std::tuple<std::string, TRows>, 3> cases = {{
      {"a.x = 2", BruteForce([](const TPair& a, const TPair& b, const TPair& c) {
         return a.First == 2 && a.Second == b.First && b.Second == c.First && c.Second == a.First;
       })},
      {"b.z = 20 AND b.y = 2", BruteForce([](const TPair& a, const TPair& b, const TPair& c) {
         return b.Second == 20 && b.First == 2 && a.Second == b.First && b.Second == c.First && c.Second == a.First;
       })},
      {"c.x = 3", BruteForce([](const TPair& a, const TPair& b, const TPair& c) {
         return c.Second == 3 && a.Second == b.First && b.Second == c.First && c.Second == a.First;
       })},
  }};
  for (const auto& [filter, expected] : cases) {
    for (const char* joins : {"a.y = b.y AND b.z = c.z AND c.x = a.x", "c.x = a.x AND b.z = c.z AND b.y = a.y"}) {
      const std::string text = std::string("SELECT a.x, b.z, c.z FROM a, b, c WHERE ") + joins + " AND " + filter;
      EXPECT_EQ(PlacedOnce(text), expected) << text;
    }
  }
}

TEST_F(SqlJoinGraphTest, CyclesThroughOnClausesAndComparisonsOtherThanEquality) {
  EXPECT_EQ(PlacedOnce("SELECT a.x, b.z, c.z FROM a JOIN b ON a.y = b.y JOIN c ON b.z = c.z AND c.x = a.x"),
            BruteForce([](const TPair& a, const TPair& b, const TPair& c) {
              return a.Second == b.First && b.Second == c.First && c.Second == a.First;
            }));
  EXPECT_EQ(PlacedOnce("SELECT a.x, b.z, c.z FROM c, b, a WHERE a.y <= b.y AND c.z > b.z AND a.x < c.x"),
            BruteForce([](const TPair& a, const TPair& b, const TPair& c) {
              return a.Second <= b.First && c.First > b.Second && a.First < c.Second;
            }));
  // Two conditions between the same pair close no cycle: both bind b.
  EXPECT_EQ(PlacedOnce("SELECT a.x, b.z, c.z FROM a, b, c WHERE a.y = b.y AND b.y >= a.y AND b.z = c.z"),
            BruteForce([](const TPair& a, const TPair& b, const TPair& c) {
              return a.Second == b.First && b.Second == c.First;
            }));
}

TEST_F(SqlJoinGraphTest, FourTablesWithEveryPairJoined) {
  Load("d", "x", "z", {{1, 10}, {2, 20}, {3, 20}, {5, 90}, {7, 70}});
  // a-b, b-c, c-a, and d joined to all three: several cycles at once.
  const std::vector<std::string> conditions = {"a.y = b.y", "b.z = c.z", "c.x = a.x", "d.x = a.x", "d.z = b.z",
                                               "c.z = d.z"};
  TRows expected;
  for (const TPair& a : TableA)
    for (const TPair& b : TableB)
      for (const TPair& c : TableC)
        for (const TPair& d : std::vector<TPair>{{1, 10}, {2, 20}, {3, 20}, {5, 90}, {7, 70}})
          if (a.Second == b.First && b.Second == c.First && c.Second == a.First && d.First == a.First &&
              d.Second == b.Second && c.First == d.Second)
            expected.push_back(std::to_string(a.First) + "|" + std::to_string(b.Second) + "|" +
                               std::to_string(c.First) + "|" + std::to_string(d.First));
  std::sort(expected.begin(), expected.end());
  ASSERT_FALSE(expected.empty());
  std::vector<size_t> order = {0, 1, 2, 3, 4, 5};
  // A sample of the 720 orders: every rotation, forwards and backwards.
  for (int rotation = 0; rotation < 6; ++rotation) {
    for (bool reversed : {false, true}) {
      std::vector<size_t> taken = order;
      std::rotate(taken.begin(), taken.begin() + rotation, taken.end());
      if (reversed) std::reverse(taken.begin(), taken.end());
      std::string where;
      for (size_t i : taken) where += (where.empty() ? "" : " AND ") + conditions[i];
      for (const char* from : {"a, b, c, d", "d, c, b, a"}) {
        const std::string text = std::string("SELECT a.x, b.z, c.z, d.x FROM ") + from + " WHERE " + where;
        EXPECT_EQ(PlacedOnce(text), expected) << text;
      }
    }
  }
}

}  // namespace
