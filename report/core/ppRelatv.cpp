#include "ppRelatv.h"

#include <algorithm>

#include "rtlAssert.h"
#include "rtlReader.h"
#include "rtlTypeInfo.h"

RTL_DEFINE_CLASS(TppRelative)

TppRelative::TppRelative(TComponent* owner) : TppCommunicator(owner) {}

TppRelative::~TppRelative() {
  SetParent(nullptr);
  FreeChildren();
}

void TppRelative::BeforeDestruction() {
  SetParent(nullptr);
  FreeChildren();
  inherited::BeforeDestruction();
}

void TppRelative::SetParent(TppRelative* newParent) {
  // An object never becomes its own ancestor: the tree's walks would not end.
  for (TppRelative* p = newParent; p; p = p->parent)
    if (p == this) return;
  if (parent) parent->RemoveChild(this);
  parent = newParent;
  if (parent) parent->AddChild(this);
}

int TppRelative::Position() const { return parent ? parent->IndexOfChild(this) : -1; }

void TppRelative::SetPosition(int value) {
  if (ComponentState().Contains(csReading)) {
    storedPosition = value;
    return;
  }
  if (parent) {
    const int count = parent->ChildCount();
    int index = std::max(value, 0);
    if (count > 0 && index >= count) index = count - 1;
    const int current = parent->IndexOfChild(this);
    if (index != current) {
      if (current >= 0) parent->RemoveChild(this);
      parent->InsertChild(index, this);
    }
  }
  PropertyChange();
}

void TppRelative::SetChildType(int value) {
  if (!parent) {
    childType = value;
    return;
  }
  TppRelative* p = parent;
  p->RemoveChild(this);
  childType = value;
  p->AddChild(this);
}

TppRelative* TppRelative::GetChild(int index) const {
  if (index < 0 || index >= ChildCount()) throw EListError(Format("List index out of bounds (%d)", {index}));
  return children[static_cast<size_t>(index)];
}

int TppRelative::IndexOfChild(const TppRelative* child) const {
  const auto it = std::find(children.begin(), children.end(), child);
  return it == children.end() ? -1 : static_cast<int>(it - children.begin());
}

void TppRelative::AddChild(TppRelative* child) {
  ORV_ASSERT(child && child->parent == this);
  children.push_back(child);
}

void TppRelative::InsertChild(int index, TppRelative* child) {
  ORV_ASSERT(child && child->parent == this);
  index = std::clamp(index, 0, ChildCount());
  children.insert(children.begin() + index, child);
}

void TppRelative::RemoveChild(TppRelative* child) { std::erase(children, child); }

void TppRelative::ForEachChild(const TppChildProc& proc, void* argument) {
  // A copy: the procedure may move children.
  const std::vector<TppRelative*> snapshot = children;
  for (TppRelative* child : snapshot) proc(child, argument);
  ForEachChildHook(proc, argument);
}

void TppRelative::FreeChildren() {
  freeingChildren = true;
  while (!children.empty()) children.back()->Free();  // each leaves the list as it goes
  freeingChildren = false;
}

void TppRelative::Transfer(TComponent* source) {
  auto* from = dynamic_cast<TppRelative*>(source);
  if (!from || from == this) return;
  orderedChildren = from->orderedChildren;
  SetParent(from->parent);
  FreeChildren();
  while (!from->children.empty()) {
    TppRelative* child = from->children.front();
    const bool sameOwner = child->Owner() == from->Owner();
    child->SetParent(this);
    if (sameOwner) child->ChangeOwner(Owner());
  }
}

void TppRelative::PropertyChange() {
  inherited::PropertyChange();
  if (parent) parent->PropertyChange();
  AfterPropertyChange();
}

void TppRelative::ChangeOwner(TComponent* newOwner) {
  TComponent* oldOwner = Owner();
  if (newOwner == oldOwner) return;
  inherited::ChangeOwner(newOwner);
  const std::vector<TppRelative*> snapshot = children;
  for (TppRelative* child : snapshot)
    if (child->Owner() == oldOwner) child->ChangeOwner(newOwner);
}

void TppRelative::ReadState(TReader& reader) {
  inherited::ReadState(reader);
  ReorderChildren();
}

void TppRelative::ReorderChildren() {
  if (!orderedChildren || children.empty()) return;
  const int count = ChildCount();
  std::vector<TppRelative*> places(static_cast<size_t>(count), nullptr);
  for (TppRelative* child : children) {
    const int p = child->storedPosition;
    if (p >= 0 && p < count) places[static_cast<size_t>(p)] = child;
  }
  for (int i = 0; i < count; ++i) {
    TppRelative* child = places[static_cast<size_t>(i)];
    if (!child) continue;
    // The child may still be flagged as reading; move it directly.
    const int current = IndexOfChild(child);
    if (current != i && current >= 0) {
      RemoveChild(child);
      InsertChild(i, child);
    }
    child->storedPosition = -1;
  }
}

void TppRelative::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  // Older streams carry the child type; it is read, never written, unless
  // a class publishes it itself.
  if (!ClassType().FindProperty("ChildType"))
    filer.DefineProperty("ChildType", [this](TReader& reader) { childType = reader.ReadInteger(); }, nullptr, false);
}

void TppRelative::SetParentComponent(TComponent* value) {
  if (auto* relative = dynamic_cast<TppRelative*>(value)) SetParent(relative);
}
