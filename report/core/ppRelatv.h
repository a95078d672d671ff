#pragma once
// A communicator with a parent and an ordered list of children: the report's
// object tree. Child order is design order; it survives streaming through
// each child's stored position.
//
// Invariant: a child's Parent() is this object exactly when the child is in
// this object's list.

#include <functional>
#include <vector>

#include "ppComm.h"

class TppRelative;
using TppChildProc = std::function<void(TppRelative* child, void* argument)>;

class TppRelative : public TppCommunicator {
  RTL_DECLARE_CLASS(TppRelative, TppCommunicator)

  explicit TppRelative(TComponent* owner);
  ~TppRelative() override;
  void BeforeDestruction() override;

  TppRelative* Parent() const { return parent; }
  // Ignored when the new parent is this object or one of its descendants.
  virtual void SetParent(TppRelative* newParent);

  // Index among the parent's children; -1 without a parent.
  int Position() const;
  // While the object is read, only stored; otherwise moves it, the index
  // clamped to the parent's list.
  void SetPosition(int value);

  int ChildType() const { return childType; }
  void SetChildType(int value);
  bool FreeingChildren() const { return freeingChildren; }
  bool OrderedChildren() const { return orderedChildren; }
  void SetOrderedChildren(bool value) { orderedChildren = value; }

  int ChildCount() const { return static_cast<int>(children.size()); }
  virtual int GetChildCount() const { return ChildCount(); }
  virtual TppRelative* GetChild(int index) const;
  virtual int IndexOfChild(const TppRelative* child) const;
  virtual void AddChild(TppRelative* child);
  virtual void InsertChild(int index, TppRelative* child);
  virtual void RemoveChild(TppRelative* child);
  void ForEachChild(const TppChildProc& proc, void* argument);
  virtual void Transfer(TComponent* source);

  void PropertyChange() override;
  void ChangeOwner(TComponent* newOwner) override;
  void ReadState(TReader& reader) override;
  void DefineProperties(TFiler& filer) override;

  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override { return parent; }
  void SetParentComponent(TComponent* value) override;

protected:
  virtual void AfterPropertyChange() {}
  virtual void ForEachChildHook(const TppChildProc& proc, void* argument) {}
  // Frees the children, last first.
  void FreeChildren();
  // Puts children with valid stored positions at those places.
  void ReorderChildren();

private:
  std::vector<TppRelative*> children;
  int childType = 0;
  bool freeingChildren = false;
  bool orderedChildren = false;
  TppRelative* parent = nullptr;
  int storedPosition = -1;
};
