#include <gtest/gtest.h>

#include "engExpTestSupport.h"
#include "engExpToken.h"
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

TEST_F(ExpTokenPoolTest, TreesAreReleasedWholeAndReused) {
  Parse("a IN (1, 2 + b, 3) AND SUBSTRING(c FROM 1 FOR 2) = 'x'");
  TExpToken* root = tree.release();
  FreeTokenTree(root);
  EXPECT_EQ(root, nullptr);
  // Its fourteen nodes went back to the pool and are drawn again first.
  std::vector<TExpToken*> drawn;
  for (int i = 0; i < 14; ++i) drawn.push_back(NewToken());
  TExpToken* fresh = NewToken();
  for (TExpToken* node : drawn) EXPECT_NE(node, fresh);
  drawn.push_back(fresh);
  for (TExpToken*& node : drawn) ReleaseToken(node);
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
