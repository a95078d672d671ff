#pragma once
// The class library's object model: TObject (a class descriptor in the type
// registry, destruction through Free), TPersistent (assignment and the
// streaming hooks) and TComponent (ownership, names, free notification,
// component states and the parent protocol that streams children).
//
// Ownership: a component created with an owner is freed by it; a component
// freed on its own leaves its owner first. Components live on the heap and
// are freed with Free() (or FreeAndNil), which calls BeforeDestruction while
// the whole object still exists; `delete` works too but skips that call.
//
// Notification is called with a component that is being constructed or
// destroyed (opInsert from its constructor, opRemove from its destructor):
// receivers compare the pointer and must not cast or call it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rtlExceptions.h"
#include "rtlSets.h"

class TClassInfo;
class TFiler;
class TReader;
class TWriter;

RTL_EXCEPTION_CLASS(EComponentError, Exception);

// Put at the top of the body of every class that has a descriptor of its
// own; the descriptor is defined in a source file with RTL_DEFINE_CLASS or,
// for a class that publishes properties, with TClassBuilder (rtlTypeInfo.h).
// Leaves the class body in the public section.
#define RTL_DECLARE_CLASS(Name, Parent)                                      \
public:                                                                      \
  using inherited = Parent;                                                  \
  static const TClassInfo& StaticClassType();                                \
  const TClassInfo& ClassType() const override { return StaticClassType(); } \
                                                                             \
public:

class TObject {
public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  static const TClassInfo& StaticClassType();
  virtual const TClassInfo& ClassType() const;
  const std::string& ClassName() const;
  bool InheritsFrom(const TClassInfo& classInfo) const;

  // Called by Free while the whole object still exists.
  virtual void BeforeDestruction() {}
  void Free();
};

template <typename T>
void FreeAndNil(T*& object) {
  T* doomed = object;
  object = nullptr;
  if (doomed != nullptr) doomed->Free();
}

// A deleter for smart pointers that frees through Free().
struct TObjectFree {
  void operator()(TObject* object) const {
    if (object != nullptr) object->Free();
  }
};
template <typename T>
using TObjectPtr = std::unique_ptr<T, TObjectFree>;

class TPersistent : public TObject {
  RTL_DECLARE_CLASS(TPersistent, TObject)

  // Copies source into this object: the source's AssignTo decides unless
  // a descendant overrides Assign. Unsupported pairs raise EConvertError
  // "Cannot assign a X to a Y".
  virtual void Assign(const TPersistent* source);

  // Registers the properties a class streams by its own code (TFiler's
  // DefineProperty and DefineBinaryProperty). Called when the object is
  // written and for every stored property name the reader does not know.
  virtual void DefineProperties(TFiler& filer);

protected:
  virtual void AssignTo(TPersistent* dest) const;
  [[noreturn]] void AssignError(const TPersistent* source) const;
};

enum TOperation { opInsert, opRemove };

enum TComponentStateFlag {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance
};
using TComponentState = TSet<TComponentStateFlag>;

class TComponent;
using TGetChildProc = std::function<void(TComponent* child)>;

class TComponent : public TPersistent {
  RTL_DECLARE_CLASS(TComponent, TPersistent)

  // Joins the owner's components when an owner is given.
  explicit TComponent(TComponent* owner);
  // Tells the free-notification partners, frees the owned components (last
  // first, without notifying this owner or their siblings: only their own
  // free-notification partners hear of it) and leaves the owner.
  ~TComponent() override;

  void BeforeDestruction() override;

  // Valid until the name changes.
  const std::string& Name() const;
  // "'X' is not a valid component name" unless empty or an identifier;
  // "A component named X already exists" when a sibling (same owner) has
  // the name in any letter case.
  virtual void SetName(const std::string& newName);

  TComponent* Owner() const { return owner; }
  int ComponentCount() const;
  // EListError "List index out of bounds (n)" for a bad index.
  TComponent* Components(int index) const;
  int ComponentIndex() const;
  // The owned component with this name, ignoring case; nullptr when none
  // or when the name is empty.
  TComponent* FindComponent(std::string_view componentName) const;

  // Makes this the component's owner (it leaves a previous owner first),
  // checks the name and sends opInsert to this owner and to the components
  // below it that are linked to the component by FreeNotification.
  void InsertComponent(TComponent* component);
  // Sends opRemove as InsertComponent sends opInsert and drops the
  // component from this owner's list. Other components do not hear of it:
  // telling every sibling made freeing n components one by one cost n^2.
  void RemoveComponent(TComponent* component);
  // Leaves the current owner and joins the new one (nullptr: no owner).
  virtual void ChangeOwner(TComponent* newOwner);

  // Asks for Notification(component, opRemove) when the component is
  // freed; the link is kept on both sides and dropped by either's end.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  TComponentState ComponentState() const { return TComponentState::FromBits(state); }
  // The flags of csDesigning and csAncestor reach the owned components too,
  // csDesigning unless asked for this component alone.
  enum class TDesignReach { WithOwned, ThisOnly };
  void SetDesigning(bool value, TDesignReach reach = TDesignReach::WithOwned);
  void SetAncestor(bool value);
  void SetInline(bool value);
  // Sets csDestroying here and in every owned component.
  void Destroying();

  int Tag() const { return tag; }
  void SetTag(int value) { tag = value; }

  // Parent protocol of the streams: a component that has a parent is
  // written among its parent's children (GetChildren) rather than among
  // its owner's, and the reader hands it its parent (SetParentComponent).
  virtual bool HasParent() const { return false; }
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual void SetParentComponent(TComponent* /*value*/) {}
  // Calls proc for each child to be streamed with this component; root is
  // the component being written.
  virtual void GetChildren(const TGetChildProc& /*proc*/, TComponent* /*root*/) {}
  // The owner of the children read for this component (nullptr: the
  // reader's root) and their parent.
  virtual TComponent* GetChildOwner() { return nullptr; }
  virtual TComponent* GetChildParent() { return this; }
  // Where the reader puts a child read at position order.
  virtual void SetChildOrder(TComponent* /*child*/, int /*order*/) {}

  // Reads the properties and children of this component (the reader has
  // read the class and name) and writes them.
  virtual void ReadState(TReader& reader);
  virtual void WriteState(TWriter& writer);

  // Called once every component of a stream has been read and its
  // references resolved; clears csLoading.
  virtual void Loaded();

  // State changes made by the reader and the writer.
  void SetReading(bool value);
  void SetWriting(bool value);
  void SetLoading(bool value);
  void SetFixups(bool value);

protected:
  // Called on the owner and on the free-notification partners of the
  // component; an opRemove drops this component's link to it.
  virtual void Notification(TComponent* component, TOperation operation);
  // Raises when newName clashes with a sibling's name; component is the
  // one being renamed (nullptr when it has no owner).
  virtual void ValidateRename(TComponent* component, const std::string& curName,
                              const std::string& newName);
  // Stores the name without checks.
  void ChangeName(const std::string& newName);

private:
  // What only some components use (a name, owned components, partners),
  // made on first use and dropped when empty again: a report page holds
  // hundreds of components that have no name, own nothing and link to
  // nothing, and each costs only the members below.
  struct TLinks;

  TComponent* owner = nullptr;
  std::unique_ptr<TLinks> links;
  int tag = 0;
  uint16_t state = 0;  // the bits of TComponentState

  bool HasState(TComponentStateFlag flag) const { return ComponentState().Contains(flag); }

  TLinks& Links();
  void ReleaseUnusedLinks();
  const std::vector<TComponent*>& OwnedComponents() const;
  bool IsWithin(const TComponent* ancestor) const;
  void NotifyPartnersWithin(TComponent* component, TOperation operation);
  void Insert(TComponent* component);
  void Remove(TComponent* component);
  void IndexName(TComponent* component);
  void UnindexName(TComponent* component);
  void DestroyComponents();
  void RemoveFreeNotifications();
  void DropFreeNotify(TComponent* component);
  void SetState(TComponentStateFlag flag, bool value);
};

// An identifier of the class library: a letter or underscore, then letters,
// digits and underscores (ASCII).
bool IsValidIdent(std::string_view ident);
