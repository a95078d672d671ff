#pragma once
// Collections: a persistent list of items of one class that a published
// property of a component (or of another persistent object) holds. The
// object streams write a collection as one value, each item as its own
// published properties (binary: vaCollection, a list per item, vaNull;
// text: "< item ... end >"), and read it back by clearing the collection
// and adding one item per list.
//
// Ownership: the collection owns its items. An item freed on its own
// (Free or delete) leaves its collection first; an item given another
// collection moves there.

#include <memory>
#include <vector>

#include "rtlClasses.h"

class TCollection;
class TClassInfo;

class TCollectionItem : public TPersistent {
  RTL_DECLARE_CLASS(TCollectionItem, TPersistent)

  // Joins collection (when given) at its end.
  explicit TCollectionItem(TCollection* collection);
  ~TCollectionItem() override;

  TCollection* Collection() const { return collection; }
  // Leaves the current collection and joins the new one at its end.
  void SetCollection(TCollection* value);
  // The position in the collection; -1 outside one.
  int Index() const;
  // Moves the item within its collection; an index out of range is
  // brought to the nearest end.
  virtual void SetIndex(int value);
  // Unique within the collection for its lifetime; never reused there.
  int ID() const { return id; }
  // The name an editor shows; the class name unless a descendant names it.
  virtual std::string GetDisplayName() const;

protected:
  // Tells the collection that this item (or, with allItems, more than it)
  // changed.
  void Changed(bool allItems);

private:
  friend class TCollection;
  TCollection* collection = nullptr;
  int id = 0;
};

class TCollection : public TPersistent {
  RTL_DECLARE_CLASS(TCollection, TPersistent)

  // Creates the items of this collection.
  using TItemFactory = TCollectionItem* (*)(TCollection* collection);
  template <typename TItem>
  static TCollectionItem* CreateItem(TCollection* collection) {
    return new TItem(collection);
  }

  // itemClass is the class every item of the collection belongs to (the
  // factory's).
  TCollection(const TClassInfo& itemClass, TItemFactory factory);
  ~TCollection() override;

  int Count() const { return static_cast<int>(items.size()); }
  // EListError "List index out of bounds (n)" for a bad index.
  TCollectionItem* Items(int index) const;
  TCollectionItem* Add();
  // A new item at index (0 to Count).
  TCollectionItem* Insert(int index);
  void Delete(int index);
  void Clear();
  TCollectionItem* FindItemID(int id) const;

  // Changes between BeginUpdate and the matching EndUpdate are announced
  // once, at the end, as a change of every item.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount; }

  // From another collection: the items are replaced by copies of the
  // source's (each assigned from its counterpart).
  void Assign(const TPersistent* source) override;

  // The object whose property holds the collection, when it was given one.
  TPersistent* Owner() const { return owner; }
  void SetOwner(TPersistent* value) { owner = value; }

protected:
  // Called when item changed (nullptr: the collection or several items).
  virtual void Update(TCollectionItem* item);
  void Changed();

private:
  friend class TCollectionItem;
  const TClassInfo& itemClass;
  TItemFactory factory;
  std::vector<TObjectPtr<TCollectionItem>> items;
  TPersistent* owner = nullptr;
  int nextId = 0;
  int updateCount = 0;

  // Takes in an item that names this collection (at the end).
  void InsertItem(TCollectionItem* item);
  // Hands back ownership of item without freeing it.
  void RemoveItem(TCollectionItem* item);
};

// True when both collections have the same number of items of the same
// classes whose published properties are equal, so that a writer that has
// one as its ancestor leaves the other out.
bool CollectionsEqual(TCollection* a, TCollection* b);
