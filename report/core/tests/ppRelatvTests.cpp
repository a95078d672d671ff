#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ppRelatv.h"

namespace {

std::vector<std::string> freedNames;

class TppNode : public TppRelative {
public:
  explicit TppNode(TComponent* owner, const char* tag = "") : TppRelative(owner), tag(tag) {}
  ~TppNode() override { freedNames.push_back(tag); }
  using TppRelative::ReorderChildren;
  std::string tag;
};

std::string Order(const TppRelative& parent) {
  std::string s;
  for (int i = 0; i < parent.ChildCount(); ++i) s += static_cast<TppNode*>(parent.GetChild(i))->tag;
  return s;
}

}  // namespace

TEST(Relative, PositionsAreClampedAndChildTypeMovesToTheEnd) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* parent = new TppNode(owner.get(), "P");
  auto* a = new TppNode(owner.get(), "a");
  auto* b = new TppNode(owner.get(), "b");
  auto* c = new TppNode(owner.get(), "c");
  for (TppNode* n : {a, b, c}) n->SetParent(parent);
  EXPECT_EQ(Order(*parent), "abc");
  c->SetPosition(-5);
  EXPECT_EQ(Order(*parent), "cab");
  c->SetPosition(99);
  EXPECT_EQ(Order(*parent), "abc");
  EXPECT_EQ(c->Position(), 2);
  a->SetChildType(3);
  EXPECT_EQ(Order(*parent), "bca");
  EXPECT_EQ(a->ChildType(), 3);
  b->SetParent(nullptr);
  EXPECT_EQ(b->Position(), -1);
  EXPECT_EQ(Order(*parent), "ca");

  // No cycles: a parent cannot move under its own child.
  parent->SetParent(c);
  EXPECT_EQ(parent->Parent(), nullptr);
  c->SetParent(c);
  EXPECT_EQ(c->Parent(), parent);
}

TEST(Relative, StoredPositionsReorderChildrenAfterReading) {
  struct Case {
    std::vector<int> Stored;
    const char* Expected;
  };
  const Case cases[] = {{{2, 0, 1}, "bca"}, {{-1, 0, -1}, "bac"}, {{1, 1, 7}, "abc"}, {{1, 1, 0}, "cba"}, {{0, 1, 2}, "abc"}};
  for (const Case& c : cases) {
    TObjectPtr<TComponent> owner(new TComponent(nullptr));
    auto* parent = new TppNode(owner.get(), "P");
    parent->SetOrderedChildren(true);
    const char* tags[] = {"a", "b", "c"};
    for (int i = 0; i < 3; ++i) {
      auto* child = new TppNode(owner.get(), tags[i]);
      child->SetParent(parent);
      child->SetReading(true);
      child->SetPosition(c.Stored[static_cast<size_t>(i)]);
      child->SetReading(false);
    }
    EXPECT_EQ(Order(*parent), "abc");  // stored only while reading
    parent->ReorderChildren();
    EXPECT_EQ(Order(*parent), c.Expected);
  }
}

TEST(Relative, FreeingAParentFreesItsChildrenLastFirst) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* parent = new TppNode(owner.get(), "P");
  for (const char* tag : {"a", "b", "c"}) (new TppNode(owner.get(), tag))->SetParent(parent);
  auto* watcher = new TppNode(owner.get(), "w");
  watcher->AddNotify(parent);
  freedNames.clear();
  parent->Free();
  EXPECT_EQ(freedNames, (std::vector<std::string>{"c", "b", "a", "P"}));
  EXPECT_EQ(owner->ComponentCount(), 1);
  EXPECT_EQ(watcher->GetNotifyLinkCount(), 0);
}

TEST(Relative, TransferMovesChildrenAndOwners) {
  TObjectPtr<TComponent> oldOwner(new TComponent(nullptr));
  TObjectPtr<TComponent> newOwner(new TComponent(nullptr));
  auto* source = new TppNode(oldOwner.get(), "S");
  source->SetOrderedChildren(true);
  for (const char* tag : {"x", "y"}) (new TppNode(oldOwner.get(), tag))->SetParent(source);
  auto* target = new TppNode(newOwner.get(), "T");
  (new TppNode(newOwner.get(), "old"))->SetParent(target);
  target->Transfer(source);
  EXPECT_EQ(Order(*target), "xy");
  EXPECT_EQ(source->ChildCount(), 0);
  EXPECT_TRUE(target->OrderedChildren());
  EXPECT_EQ(target->GetChild(0)->Owner(), newOwner.get());
  int visited = 0;
  int step = 2;
  target->ForEachChild([&](TppRelative*, void* arg) { visited += *static_cast<int*>(arg); }, &step);
  EXPECT_EQ(visited, 4);
}
