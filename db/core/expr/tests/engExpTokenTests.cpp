#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engExpTestSupport.h"
#include "engExpToken.h"
#include "engHeap.h"
#include "engLibrary.h"

namespace {

class ExpTokenPoolTest : public TExpFixture {
protected:
  ExpTokenPoolTest() { StartEngineLibrary(); }
  ~ExpTokenPoolTest() override {
    tree.reset();
    StopEngineLibrary();
  }
};

TEST_F(ExpTokenPoolTest, ReleasedNodesComeBackCleared) {
  TExpToken* node = NewToken();
  EXPECT_EQ(node->ValueCapacity, TExpToken::ValueStep);
  node->Kind = nkConstant;
  node->Text = "x";
  node->SetText(std::string(600, 'a'));
  EXPECT_EQ(node->ValueCapacity, 765);
  TExpToken* kept = node;
  ReleaseToken(node);
  EXPECT_EQ(node, nullptr);
  node = NewToken();
  ASSERT_EQ(node, kept);
  EXPECT_EQ(node->Kind, 0);
  EXPECT_TRUE(node->Text.empty());
  EXPECT_EQ(node->DataSize, 0);
  EXPECT_EQ(node->ValueCapacity, 765);
  EXPECT_EQ(node->Value[599], 0);
  node->SetDataSize(10);
  EXPECT_EQ(node->ValueCapacity, 765);
  ReleaseToken(node);
  ReleaseToken(node);  // nil is ignored
}

// Every node of a tree and of its copy, each once.
void CollectNodes(TExpToken* root, std::vector<TExpToken*>& nodes) {
  nodes.push_back(root);
  for (TExpToken* child : {root->First, root->Second, root->Third})
    for (TExpToken* element = child; element; element = element->Next) CollectNodes(element, nodes);
}

// Each parent link names the node whose chain holds it.
void ExpectLinked(const TExpToken* root) {
  for (const TExpToken* child : {root->First, root->Second, root->Third})
    for (const TExpToken* element = child; element; element = element->Next) {
      EXPECT_EQ(element->Parent, root);
      ExpectLinked(element);
    }
}

std::string LongList(int count) {
  std::string list = "a IN (0";
  for (int i = 1; i < count; ++i) list += ", " + std::to_string(i) + " + b";
  return list + ")";
}

// Trees smaller and larger than the pool moves at a time: a copy is the same
// tree of fresh nodes drawn from the pool, and a tree freed gives every node
// back once, to be drawn again before any new one.
TEST_F(ExpTokenPoolTest, TreesAreCopiedAndReleasedWholeAndReused) {
  const std::string texts[] = {"a", "a IN (1, 2 + b, 3) AND SUBSTRING(c FROM 1 FOR 2) = 'x'", LongList(20),
                               LongList(200)};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    TExpTreePtr original(Parse(text));
    tree.release();
    TExpToken* copy = CloneTokenTree(original.get());
    EXPECT_TRUE(TokenTreesEqual(copy, original.get()));
    EXPECT_EQ(Render(copy), Render(original.get()));
    EXPECT_EQ(copy->Parent, nullptr);
    EXPECT_EQ(copy->Next, nullptr);
    ExpectLinked(copy);
    std::vector<TExpToken*> mine, theirs;
    CollectNodes(copy, mine);
    CollectNodes(original.get(), theirs);
    ASSERT_EQ(mine.size(), theirs.size());
    for (TExpToken* node : mine) EXPECT_EQ(std::count(theirs.begin(), theirs.end(), node), 0);
    FreeTokenTree(copy);
    EXPECT_EQ(copy, nullptr);
    std::vector<TExpToken*> drawn;
    for (size_t i = 0; i < mine.size(); ++i) drawn.push_back(NewToken());
    TExpToken* fresh = NewToken();
    std::vector<TExpToken*> sortedMine = mine, sortedDrawn = drawn;
    std::sort(sortedMine.begin(), sortedMine.end());
    std::sort(sortedDrawn.begin(), sortedDrawn.end());
    EXPECT_EQ(sortedDrawn, sortedMine);
    for (TExpToken* node : drawn) EXPECT_EQ(node->Kind, 0);
    EXPECT_EQ(std::count(mine.begin(), mine.end(), fresh), 0);
    drawn.push_back(fresh);
    for (TExpToken*& node : drawn) ReleaseToken(node);
  }
}

TEST_F(ExpTokenPoolTest, CloneAndCompare) {
  TExpTreePtr original(Parse("a IN (1, 'x') OR -b BETWEEN 1 AND 2 OR IF(c THEN d ELSE e)"));
  tree.release();
  TExpTreePtr copy(CloneTokenTree(original.get()));
  EXPECT_NE(copy.get(), original.get());
  EXPECT_EQ(Render(copy.get()), Render(original.get()));
  EXPECT_TRUE(TokenTreesEqual(copy.get(), original.get()));
  EXPECT_EQ(copy->First->Parent, copy.get());
  EXPECT_EQ(copy->First->First->Second->Next->Parent, copy->First->First);
  // Names compare without regard to case, values byte for byte.
  copy->Second->First->Name = "A";
  original->Second->First->Name = "a";
  EXPECT_TRUE(TokenTreesEqual(copy.get(), original.get()));
  copy->First->First->Second->Next->Value[0] = 'y';
  EXPECT_FALSE(TokenTreesEqual(copy.get(), original.get()));
  EXPECT_TRUE(TokenTreesEqual(nullptr, nullptr));
  EXPECT_FALSE(TokenTreesEqual(copy.get(), nullptr));
  TExpTreePtr shorter(Parse("a IN (1) OR -b BETWEEN 1 AND 2 OR IF(c THEN d ELSE e)"));
  tree.release();
  EXPECT_FALSE(TokenTreesEqual(shorter.get(), original.get()));
  EXPECT_EQ(CloneTokenTree(nullptr), nullptr);
}

// Each thread keeps some free nodes of its own in front of the pool. A node
// given back on one thread comes out cleared on another, and however many
// a thread keeps, they are gone with the pool or with the thread: the
// engine's heap holds nothing once the library stops. A thread still
// holding nodes of an ended pool frees them and takes the new pool's.
TEST(ExpTokenThreads, NodesKeptByThreadsGoWithTheirPoolOrTheirThread) {
  const struct {
    const char* What;
    int Nodes;           // taken on a second thread, dirtied and given back
    bool ThreadEnds;     // before the library stops
    bool AcrossRestart;  // the thread uses a pool of the next start too
  } cases[] = {
      {"a few, the thread ended", 5, true, false},
      {"more than a thread keeps, the thread ended", 150, true, false},
      {"a few, the thread alive at the stop", 5, false, false},
      {"more than a thread keeps, the thread alive at the stop", 150, false, false},
      {"a few, the thread alive across a restart", 5, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    StartEngineLibrary();
    std::vector<TExpToken*> given;
    auto takeAndGiveBack = [&given](int count) {
      std::vector<TExpToken*> nodes;
      for (int i = 0; i < count; ++i) {
        nodes.push_back(NewToken());
        nodes.back()->Kind = nkConstant;
        nodes.back()->SetText("dirty");
      }
      given.insert(given.end(), nodes.begin(), nodes.end());
      for (TExpToken*& node : nodes) ReleaseToken(node);
    };
    enum class TStep { None, Use, End };
    std::mutex lock;
    std::condition_variable changed;
    TStep step = TStep::Use;
    bool done = false;
    auto tell = [&](TStep next) {
      std::unique_lock hold(lock);
      step = next;
      done = false;
      changed.notify_all();
      changed.wait(hold, [&] { return done; });
    };
    std::thread other([&] {
      std::unique_lock hold(lock);
      for (;;) {
        changed.wait(hold, [&] { return step != TStep::None; });
        const TStep now = std::exchange(step, TStep::None);
        if (now == TStep::Use) takeAndGiveBack(c.Nodes);
        done = true;
        changed.notify_all();
        if (now == TStep::End) return;
      }
    });
    tell(TStep::Use);
    if (c.ThreadEnds) tell(TStep::End);
    // The nodes the other thread gave back come out cleared here.
    std::vector<TExpToken*> taken;
    for (int i = 0; i < 2 * c.Nodes; ++i) {
      taken.push_back(NewToken());
      EXPECT_EQ(taken.back()->Kind, 0);
      EXPECT_EQ(taken.back()->DataSize, 0);
    }
    for (TExpToken*& node : taken) ReleaseToken(node);
    if (c.AcrossRestart) {
      StopEngineLibrary();
      StartEngineLibrary();
      tell(TStep::Use);
    }
    if (!c.ThreadEnds) tell(TStep::End);
    other.join();
    StopEngineLibrary();
    EXPECT_EQ(EngineHeapTotal(), 0);
  }
}

TEST(ExpToken, NullConstantsCompareByFlagOnly) {
  TExpToken a, b;
  a.Kind = b.Kind = nkConstant;
  a.SetNull();
  b.SetNull();
  b.Value[0] = 7;
  EXPECT_TRUE(a.SameNode(b));
  b.IsNull = false;
  EXPECT_FALSE(a.SameNode(b));
  a.Assign(b);
  EXPECT_TRUE(a.SameNode(b));
  EXPECT_EQ(a.Value[0], 7);
}

}  // namespace
