#include <thread>
#include <vector>

#include "MDBTableTestSupport.h"

namespace {

using ThreadTest = TableTest;

// Each thread has a table component of its own on the default session;
// the session lock serialises their engine calls.
TEST_F(ThreadTest, ThreadsWithTablesOfTheirOwnShareTheSession) {
  OpenPeople();
  constexpr int Threads = 4;
  constexpr int Rounds = 20;
  std::vector<std::string> failures(Threads);
  std::vector<std::thread> threads;
  for (int t = 0; t < Threads; ++t) {
    threads.emplace_back([&, t] {
      try {
        TObjectPtr<TMDBTable> table = NewTable();
        table->SetIndexName(t % 2 == 0 ? "ByName" : "ByCity");
        table->Open();
        for (int round = 0; round < Rounds; ++round) {
          int count = 0;
          for (table->First(); !table->Eof(); table->Next()) ++count;
          if (count != 5) failures[static_cast<size_t>(t)] = "saw " + std::to_string(count) + " records";
          if (!table->Locate("ID", Variant(3), TLocateOptions()))
            failures[static_cast<size_t>(t)] = "lost record 3";
        }
      } catch (const std::exception& error) {
        failures[static_cast<size_t>(t)] = error.what();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::string& failure : failures) EXPECT_EQ(failure, "");
}

}  // namespace
