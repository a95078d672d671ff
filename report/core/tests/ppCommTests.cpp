#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ppComm.h"
#include "rtlTypeInfo.h"

namespace {

class TppLabel : public TppCommunicator {
  RTL_DECLARE_CLASS(TppLabel, TppCommunicator)
  using TppCommunicator::TppCommunicator;
};
RTL_DEFINE_CLASS(TppLabel)

// Records what it hears; an action may run inside its event.
class TppProbe : public TppCommunicator {
  RTL_DECLARE_CLASS(TppProbe, TppCommunicator)
  explicit TppProbe(TComponent* owner, std::string key = {}) : TppCommunicator(owner), key(std::move(key)) {
    SetListensTo(7, true);
  }
  std::string GetSortKey() const override { return key; }
  void EventNotify(TppCommunicator* sender, int eventId, TppEventParams* params) override {
    ++heard;
    if (action) action();
  }
  void Notify(TppCommunicator* sender, int operation) override {
    operations.push_back(operation);
    TppCommunicator::Notify(sender, operation);
  }
  int heard = 0;
  std::vector<int> operations;
  std::function<void()> action;

private:
  std::string key;
};
RTL_DEFINE_CLASS(TppProbe)

}  // namespace

TEST(Communicator, LinksAreSymmetricAndDestructionDropsThem) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* a = new TppProbe(owner.get());
  auto* b = new TppProbe(owner.get());
  auto* c = new TppProbe(owner.get());
  a->AddNotify(b);
  a->AddNotify(b);
  EXPECT_EQ(a->GetNotifyLinkCount(), 1);
  EXPECT_EQ(b->GetNotifyLink(0), a);
  a->AddEventNotify(c);
  EXPECT_EQ(c->GetNotifyLinkCount(), 1);  // a listener is linked
  EXPECT_TRUE(a->LinksListenTo(7));
  EXPECT_FALSE(a->LinksListenTo(300));
  c->Free();
  EXPECT_EQ(a->GetNotifyLinkCount(), 1);
  EXPECT_EQ(a->GetEventListenerCount(), 0);
  a->SendEventNotify(a, 7, nullptr);  // no one left to hear it but b, which is no listener
  EXPECT_EQ(b->heard, 0);
  b->Free();
  EXPECT_EQ(a->GetNotifyLinkCount(), 0);
  EXPECT_EQ(a->operations, (std::vector<int>{ppopRemove, ppopRemove}));
  a->RemoveNotify(nullptr);
  EXPECT_EQ(a->GetNotifyLink(0), nullptr);
}

TEST(Communicator, BroadcastReachesEachListenerOnceWhateverChangesDuringIt) {
  struct Case {
    const char* Name;
    int Actor;       // whose event changes the list
    int Target;      // which listener it removes; -1 adds a new one
    std::vector<int> Expected;  // how often each of four listeners heard
  };
  const Case cases[] = {
      {"removes itself", 0, 0, {1, 1, 1, 1}},
      {"removes the next", 0, 1, {1, 0, 1, 1}},
      {"removes an earlier one", 2, 0, {1, 1, 1, 1}},
      {"removes the last", 1, 3, {1, 1, 1, 0}},
      {"adds one", 1, -1, {1, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TObjectPtr<TComponent> owner(new TComponent(nullptr));
    auto* sender = new TppProbe(owner.get());
    std::vector<TppProbe*> listeners;
    for (int i = 0; i < 4; ++i) listeners.push_back(new TppProbe(owner.get()));
    for (TppProbe* l : listeners) sender->AddEventNotify(l);
    auto* late = new TppProbe(owner.get());
    listeners[static_cast<size_t>(c.Actor)]->action = [&] {
      if (c.Target < 0) sender->AddEventNotify(late);
      else sender->RemoveEventNotify(listeners[static_cast<size_t>(c.Target)]);
    };
    sender->SendEventNotify(sender, 7, nullptr);
    for (size_t i = 0; i < listeners.size(); ++i) EXPECT_EQ(listeners[i]->heard, c.Expected[i]) << i;
    EXPECT_LE(late->heard, 1);
  }
}

// Past the listeners a broadcast remembers in place, and with listeners
// destroyed or sorted in ahead meanwhile.
TEST(Communicator, ALongBroadcastSurvivesChangesPastItsFirstListeners) {
  struct Case {
    const char* Name;
    int Actor;
    int Target;  // destroyed by the actor; -1: a listener sorted first joins
  };
  const Case cases[] = {{"destroys a later one", 36, 37}, {"destroys an earlier one", 40, 3},
                        {"destroys itself", 12, 12},      {"one joins ahead", 35, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TObjectPtr<TComponent> owner(new TComponent(nullptr));
    auto* sender = new TppProbe(owner.get());
    std::vector<TppProbe*> listeners;
    for (int i = 0; i < 45; ++i) {
      char key[8];
      std::snprintf(key, sizeof key, "k%03d", i);
      listeners.push_back(new TppProbe(owner.get(), key));
      sender->AddEventNotify(listeners.back());
    }
    auto* first = new TppProbe(owner.get(), "a");
    std::vector<int> heard(listeners.size(), 0);
    for (size_t i = 0; i < listeners.size(); ++i)
      listeners[i]->action = [&, i] { heard[i] = listeners[i]->heard; };
    listeners[static_cast<size_t>(c.Actor)]->action = [&] {
      heard[static_cast<size_t>(c.Actor)] = 1;
      if (c.Target < 0) sender->AddEventNotify(first);
      else listeners[static_cast<size_t>(c.Target)]->Free();
    };
    sender->SendEventNotify(sender, 7, nullptr);
    for (size_t i = 0; i < listeners.size(); ++i) {
      const bool destroyedFirst = static_cast<int>(i) == c.Target && c.Target > c.Actor;
      EXPECT_EQ(heard[i], destroyedFirst ? 0 : 1) << i;
    }
    EXPECT_EQ(first->heard, c.Target < 0 ? 1 : 0);
  }
}

TEST(Communicator, EventSetsAndSortKeysDecideWhoHearsAndInWhichOrder) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* sender = new TppProbe(owner.get());
  std::string order;
  auto add = [&](const char* key) {
    auto* l = new TppProbe(owner.get(), key);
    l->action = [&order, key] { order += key; };
    sender->AddEventNotify(l);
    return l;
  };
  add("c");
  add("A");
  TppProbe* deaf = add("b");
  deaf->SetListensTo(7, false);
  sender->SendEventNotify(sender, 7, nullptr);
  EXPECT_EQ(order, "Ac");
  sender->SendEventNotify(sender, 256, nullptr);
  EXPECT_EQ(order, "Ac");
}

TEST(Communicator, UserNamesStayUniqueAmongTheOwnersObjects) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* first = new TppLabel(owner.get());
  auto* second = new TppLabel(owner.get());
  auto* watcher = new TppProbe(owner.get());
  second->AddNotify(watcher);
  first->SetUserName("Label");
  EXPECT_EQ(first->GetUserName(), "Label");
  second->SetUserName("Label");
  EXPECT_EQ(second->GetUserName(), "Label1");
  EXPECT_EQ(watcher->operations, std::vector<int>{ppopUserNameChange});
  first->SetUserName("label1");  // held by another and ends in a digit
  EXPECT_EQ(first->GetUserName(), "Label");
  for (const char* bad : {"1abc", "a b", ""}) {
    second->SetUserName(bad);
    EXPECT_EQ(second->GetUserName(), "Label1");
  }
  EXPECT_EQ(watcher->operations.size(), 1u);
  EXPECT_EQ(second->GetDefaultUserName(second), "Label1");
}

TEST(Communicator, RenamingCarriesAFollowingUserName) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* label = new TppLabel(owner.get());
  label->SetName("ppLabel1");
  EXPECT_EQ(label->GetUserName(), "Label1");
  label->SetName("ppLabel7");
  EXPECT_EQ(label->GetUserName(), "Label7");
  label->SetUserName("Total");
  label->SetName("ppLabel8");
  EXPECT_EQ(label->GetUserName(), "Total");
  EXPECT_EQ(label->DefaultUserNameFromName("Other"), "Other");

  // While read from a stream the user name stays, unless flag 32 is set.
  auto* read = new TppLabel(owner.get());
  read->SetReading(true);
  read->SetName("ppLabel2");
  EXPECT_EQ(read->GetUserName(), "");
  read->AddState(ppstRenameWhileReading);
  read->SetName("ppLabel3");
  EXPECT_EQ(read->GetUserName(), "Label3");
  read->SetReading(false);
}

TEST(Communicator, ChangingOwnerRenamesAClash) {
  TObjectPtr<TComponent> one(new TComponent(nullptr));
  TObjectPtr<TComponent> two(new TComponent(nullptr));
  auto* a = new TppLabel(one.get());
  a->SetUserName("Label1");
  auto* b = new TppLabel(two.get());
  b->SetUserName("Label1");
  a->ChangeOwner(two.get());
  EXPECT_EQ(a->Owner(), two.get());
  EXPECT_EQ(one->ComponentCount(), 0);
  EXPECT_NE(a->GetUserName(), "Label1");
  EXPECT_EQ(a->GetUserName().rfind("Label", 0), 0u);
}

TEST(Communicator, StateChangesOnlyWhenAFlagMoves) {
  class TppStateProbe : public TppCommunicator {
  public:
    using TppCommunicator::TppCommunicator;
    int changes = 0;

  protected:
    void StateChange(uint16_t) override { ++changes; }
  };
  TObjectPtr<TppStateProbe> probe(new TppStateProbe(nullptr));
  probe->AddState(1 | 2);
  probe->AddState(1);
  probe->RemoveState(4);
  probe->RemoveState(2 | 4);
  EXPECT_EQ(probe->changes, 2);
  EXPECT_EQ(probe->State(), 1);
}
