#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtlClasses.h"
#include "rtlClassesConsts.h"
#include "rtlTypeInfo.h"

namespace {

// Records what it is told and where it is in its life.
struct TEvents {
  std::vector<std::string> log;
};

class TProbe : public TComponent {
  RTL_DECLARE_CLASS(TProbe, TComponent)

  TProbe(TComponent* owner, TEvents* events = nullptr, std::string label = {})
      : TComponent(owner), events(events), label(std::move(label)) {}
  ~TProbe() override {
    if (events != nullptr) events->log.push_back("free " + label);
  }

  void BeforeDestruction() override {
    TComponent::BeforeDestruction();
    if (events != nullptr && ComponentState().Contains(csDestroying))
      events->log.push_back("destroying " + label);
  }

  // Frees this component when told that trigger left.
  TComponent* freeOnRemoveOf = nullptr;
  TComponent* victim = nullptr;

protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (events != nullptr && !ComponentState().Contains(csDestroying))
      events->log.push_back(label + (operation == opInsert ? " +" : " -") +
                            (component == this ? std::string("self") : std::string("other")));
    if (operation == opRemove && component == freeOnRemoveOf && victim != nullptr)
      FreeAndNil(victim);
  }

private:
  TEvents* events;
  std::string label;
};

RTL_DEFINE_CLASS(TProbe)

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EComponentError& e) {
    return e.Message;
  }
  return "(no EComponentError)";
}

}  // namespace

TEST(Component, OwnerFreesOwnedComponentsLastFirstAfterMarkingThemDestroying) {
  TEvents ev;
  auto* owner = new TProbe(nullptr, &ev, "owner");
  new TProbe(owner, &ev, "a");
  auto* b = new TProbe(owner, &ev, "b");
  new TProbe(b, &ev, "b1");
  ev.log.clear();
  owner->Free();
  EXPECT_EQ(ev.log, (std::vector<std::string>{"destroying owner", "free owner", "destroying b",
                                              "free b", "destroying b1", "free b1",
                                              "destroying a", "free a"}));
}

TEST(Component, FreedComponentLeavesItsOwnerAndTheOwnerHearsOfIt) {
  TEvents ev;
  TObjectPtr<TProbe> owner(new TProbe(nullptr, &ev, "owner"));
  auto* a = new TProbe(owner.get(), &ev, "a");
  auto* b = new TProbe(owner.get(), &ev, "b");
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(b->ComponentIndex(), 1);
  ev.log.clear();
  a->Free();
  EXPECT_EQ(owner->ComponentCount(), 1);
  EXPECT_EQ(owner->Components(0), b);
  // Only the owner hears of it: b never asked.
  EXPECT_EQ(ev.log, (std::vector<std::string>{"destroying a", "free a", "owner -other"}));
  EXPECT_THROW(owner->Components(1), EListError);
}

TEST(Component, JoiningAndLeavingAreToldToTheOwnerAndToPartnersBelowIt) {
  TEvents ev;
  TObjectPtr<TProbe> owner(new TProbe(nullptr, &ev, "owner"));
  auto* a = new TProbe(owner.get(), &ev, "a");
  new TProbe(owner.get(), &ev, "b");
  ev.log.clear();
  new TProbe(owner.get(), &ev, "c");
  // c itself is still being constructed, and its siblings did not ask.
  EXPECT_EQ(ev.log, (std::vector<std::string>{"owner +other"}));

  TObjectPtr<TProbe> outsider(new TProbe(nullptr, &ev, "outsider"));
  auto* stray = new TProbe(nullptr, &ev, "stray");
  a->FreeNotification(stray);
  outsider->FreeNotification(stray);
  ev.log.clear();
  stray->ChangeOwner(owner.get());
  EXPECT_EQ(ev.log, (std::vector<std::string>{"owner +other", "a +other"}));
  ev.log.clear();
  // Leaving drops the link of the partner below the owner that heard it;
  // the outsider keeps its own and hears of the free.
  stray->ChangeOwner(nullptr);
  EXPECT_EQ(ev.log, (std::vector<std::string>{"owner -other", "a -other"}));
  ev.log.clear();
  stray->Free();
  EXPECT_EQ(ev.log, (std::vector<std::string>{"destroying stray", "free stray", "outsider -other"}));
}

TEST(Component, AComponentFreedAmongManySiblingsTellsOnlyThoseThatAsked) {
  TEvents ev;
  TObjectPtr<TProbe> owner(new TProbe(nullptr, &ev, "owner"));
  std::vector<TProbe*> made;
  for (int i = 0; i < 1000; ++i) made.push_back(new TProbe(owner.get(), &ev, "p" + std::to_string(i)));
  TProbe* doomed = made[500];
  made[3]->FreeNotification(doomed);
  made[999]->FreeNotification(doomed);
  made[501]->FreeNotification(doomed);
  // A partner that changed its mind is not told.
  made[7]->FreeNotification(doomed);
  made[7]->RemoveFreeNotification(doomed);
  ev.log.clear();
  doomed->Free();
  EXPECT_EQ(ev.log, (std::vector<std::string>{"destroying p500", "free p500", "p501 -other", "p999 -other",
                                              "p3 -other", "owner -other"}));
  EXPECT_EQ(owner->ComponentCount(), 999);
  EXPECT_EQ(made[501]->ComponentIndex(), 500);
  for (TProbe* partner : {made[3], made[501], made[999]})
    EXPECT_FALSE(partner->ComponentState().Contains(csFreeNotification));
}

TEST(Component, NamesAreIdentifiersUniqueAmongSiblingsIgnoringCase) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* a = new TComponent(owner.get());
  auto* b = new TComponent(owner.get());
  a->SetName("Label1");
  EXPECT_EQ(MessageOf([&] { b->SetName("LABEL1"); }), "A component named LABEL1 already exists");
  EXPECT_EQ(MessageOf([&] { b->SetName("1abel"); }), "'1abel' is not a valid component name");
  EXPECT_EQ(MessageOf([&] { b->SetName("a b"); }), "'a b' is not a valid component name");
  EXPECT_EQ(b->Name(), "");
  // A component may change the case of its own name; empty names repeat.
  a->SetName("LABEL1");
  EXPECT_EQ(a->Name(), "LABEL1");
  new TComponent(owner.get());
  EXPECT_EQ(owner->FindComponent("label1"), a);
  EXPECT_EQ(owner->FindComponent(""), nullptr);
  b->SetName("_x9");
  EXPECT_EQ(owner->FindComponent("_X9"), b);
  // Components of another owner may share a name.
  TObjectPtr<TComponent> other(new TComponent(nullptr));
  auto* c = new TComponent(other.get());
  c->SetName("Label1");
  // Joining an owner checks the name and leaves the component where it was.
  EXPECT_EQ(MessageOf([&] { owner->InsertComponent(c); }), "A component named Label1 already exists");
  EXPECT_EQ(c->Owner(), other.get());
  EXPECT_EQ(other->ComponentCount(), 1);
}

TEST(Component, ManyComponentsAreStillFoundByNameIgnoringCaseAfterRenamesAndFrees) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  std::vector<TComponent*> made;
  for (int i = 0; i < 100; ++i) {
    made.push_back(new TComponent(owner.get()));
    if (i % 3 != 0) made.back()->SetName("Part" + std::to_string(i));
  }
  EXPECT_EQ(owner->FindComponent("PART50"), made[50]);
  EXPECT_EQ(owner->FindComponent("Part51"), nullptr);  // never named
  EXPECT_EQ(MessageOf([&] { made[0]->SetName("part50"); }), "A component named part50 already exists");
  made[50]->SetName("Renamed");
  EXPECT_EQ(owner->FindComponent("Part50"), nullptr);
  EXPECT_EQ(owner->FindComponent("renamed"), made[50]);
  made[0]->SetName("Part50");
  EXPECT_EQ(owner->FindComponent("part50"), made[0]);
  made[50]->Free();
  EXPECT_EQ(owner->FindComponent("Renamed"), nullptr);
  auto* moved = made[98];
  moved->ChangeOwner(nullptr);
  EXPECT_EQ(owner->FindComponent("Part98"), nullptr);
  new TComponent(owner.get());
  EXPECT_EQ(owner->ComponentCount(), 99);
  moved->Free();

  // Emptied and filled again, the owner still finds and guards names.
  while (owner->ComponentCount() > 0) owner->Components(0)->Free();
  EXPECT_EQ(owner->FindComponent("Part1"), nullptr);
  made.clear();
  for (int i = 0; i < 40; ++i) {
    made.push_back(new TComponent(owner.get()));
    made.back()->SetName("Again" + std::to_string(i));
  }
  EXPECT_EQ(owner->FindComponent("AGAIN39"), made[39]);
  EXPECT_EQ(MessageOf([&] { made[0]->SetName("again1"); }), "A component named again1 already exists");
  // A cleared name is free for a sibling and no longer found.
  made[39]->SetName("");
  EXPECT_EQ(made[39]->Name(), "");
  EXPECT_EQ(owner->FindComponent("Again39"), nullptr);
  made[38]->SetName("again39");
  EXPECT_EQ(owner->FindComponent("AGAIN39"), made[38]);
}

TEST(Component, ChangeOwnerMovesTheComponentBetweenLists) {
  TObjectPtr<TComponent> first(new TComponent(nullptr));
  TObjectPtr<TComponent> second(new TComponent(nullptr));
  auto* c = new TComponent(first.get());
  c->ChangeOwner(second.get());
  EXPECT_EQ(c->Owner(), second.get());
  EXPECT_EQ(first->ComponentCount(), 0);
  EXPECT_EQ(second->ComponentCount(), 1);
  c->ChangeOwner(nullptr);
  EXPECT_EQ(c->Owner(), nullptr);
  EXPECT_EQ(second->ComponentCount(), 0);
  c->Free();
}

TEST(Component, FreeNotificationLinksTwoWaysAndEitherEndDropsIt) {
  TEvents ev;
  auto* watcher = new TProbe(nullptr, &ev, "watcher");
  auto* watched = new TProbe(nullptr, &ev, "watched");
  watcher->FreeNotification(watched);
  EXPECT_TRUE(watched->ComponentState().Contains(csFreeNotification));
  watched->Free();
  EXPECT_EQ(ev.log, (std::vector<std::string>{"destroying watched", "free watched", "watcher -other"}));

  // The watcher goes first: the watched one's end must not reach it.
  watched = new TProbe(nullptr, &ev, "watched");
  watcher->FreeNotification(watched);
  watcher->Free();
  ev.log.clear();
  watched->Free();
  EXPECT_EQ(ev.log, (std::vector<std::string>{"destroying watched", "free watched"}));
}

TEST(Component, RemovedFreeNotificationIsNotSent) {
  TEvents ev;
  TObjectPtr<TProbe> watcher(new TProbe(nullptr, &ev, "watcher"));
  auto* watched = new TProbe(nullptr, &ev, "watched");
  watcher->FreeNotification(watched);
  watcher->RemoveFreeNotification(watched);
  ev.log.clear();
  watched->Free();
  EXPECT_EQ(ev.log, (std::vector<std::string>{"destroying watched", "free watched"}));
}

TEST(Component, FreeNotificationSurvivesAPartnerThatFreesAnother) {
  TEvents ev;
  TObjectPtr<TProbe> owner(new TProbe(nullptr, &ev, "owner"));
  auto* first = new TProbe(owner.get(), &ev, "first");
  auto* second = new TProbe(owner.get(), &ev, "second");
  auto* third = new TProbe(owner.get(), &ev, "third");
  auto* trigger = new TProbe(owner.get(), &ev, "trigger");
  for (TComponent* partner : {first, second, third}) partner->FreeNotification(trigger);
  // Partners hear last first; third frees first, which must then never
  // be told.
  third->freeOnRemoveOf = trigger;
  third->victim = first;
  ev.log.clear();
  trigger->Free();
  EXPECT_EQ(ev.log, (std::vector<std::string>{"destroying trigger", "free trigger", "third -other",
                                              "destroying first", "free first", "owner -other",
                                              "second -other", "owner -other"}));
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(owner->Components(0), second);
  EXPECT_EQ(owner->Components(1), third);
}

TEST(Component, StatesForLoadingAndDesigning) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  owner->SetDesigning(true);
  auto* c = new TComponent(owner.get());
  EXPECT_TRUE(c->ComponentState().Contains(csDesigning));
  c->SetLoading(true);
  c->Loaded();
  EXPECT_FALSE(c->ComponentState().Contains(csLoading));
  owner->SetAncestor(true);
  EXPECT_TRUE(c->ComponentState().Contains(csAncestor));
  owner->SetDesigning(false);
  EXPECT_FALSE(c->ComponentState().Contains(csDesigning));
}

namespace {

class TPoint : public TPersistent {
  RTL_DECLARE_CLASS(TPoint, TPersistent)
  int x = 0;

protected:
  void AssignTo(TPersistent* dest) const override {
    if (auto* p = dynamic_cast<TPoint*>(dest)) {
      p->x = x;
      return;
    }
    TPersistent::AssignTo(dest);
  }
};

RTL_DEFINE_CLASS(TPoint)

}  // namespace

TEST(Persistent, AssignGoesThroughTheSourcesAssignToOrFailsWithBothNames) {
  TPoint a, b;
  a.x = 7;
  b.Assign(&a);
  EXPECT_EQ(b.x, 7);
  TObjectPtr<TComponent> c(new TComponent(nullptr));
  try {
    c->Assign(&a);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "Cannot assign a TPoint to a TComponent");
  }
  try {
    a.Assign(nullptr);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "Cannot assign a nil to a TPoint");
  }
}

TEST(ClassRegistry, ClassesAreFoundByNameIgnoringCaseAndCreatedWithAnOwner) {
  EXPECT_EQ(GetClass("TProbe"), nullptr);
  RegisterClass(TProbe::StaticClassType());
  RegisterClass(TProbe::StaticClassType());
  const TClassInfo& info = FindClass("tprobe");
  EXPECT_EQ(&info, &TProbe::StaticClassType());
  EXPECT_EQ(info.Parent(), &TComponent::StaticClassType());
  ASSERT_NE(info.Factory(), nullptr);
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  TComponent* made = info.Factory()(owner.get());
  EXPECT_EQ(made->ClassName(), "TProbe");
  EXPECT_TRUE(made->InheritsFrom(TComponent::StaticClassType()));
  EXPECT_FALSE(owner->InheritsFrom(TProbe::StaticClassType()));
  EXPECT_EQ(made->Owner(), owner.get());
  // Non-component classes have no factory.
  EXPECT_EQ(TPoint::StaticClassType().Factory(), nullptr);

  static const TClassInfo impostor("TPROBE", &TComponent::StaticClassType(), nullptr);
  try {
    RegisterClass(impostor);
    FAIL();
  } catch (const EFilerError& e) {
    EXPECT_EQ(e.Message, "A class named TPROBE already exists");
  }
  UnRegisterClass(TProbe::StaticClassType());
  try {
    FindClass("TProbe");
    FAIL();
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message, "Class TProbe not found");
  }
}
