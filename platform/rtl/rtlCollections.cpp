#include "rtlCollections.h"

#include <algorithm>

#include "rtlAssert.h"
#include "rtlConsts.h"
#include "rtlStreams.h"
#include "rtlTypeInfo.h"
#include "rtlWriter.h"

// ---- TCollectionItem ----

RTL_DEFINE_CLASS(TCollectionItem)

TCollectionItem::TCollectionItem(TCollection* collection) { SetCollection(collection); }

TCollectionItem::~TCollectionItem() {
  if (collection != nullptr) collection->RemoveItem(this);
}

void TCollectionItem::SetCollection(TCollection* value) {
  if (value == collection) return;
  if (collection != nullptr) collection->RemoveItem(this);
  if (value != nullptr) value->InsertItem(this);
}

int TCollectionItem::Index() const {
  if (collection == nullptr) return -1;
  const auto& items = collection->items;
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].get() == this) return static_cast<int>(i);
  ORV_ASSERT(false && "an item's collection holds it");
  return -1;
}

void TCollectionItem::SetIndex(int value) {
  const int current = Index();
  if (current < 0) return;
  auto& items = collection->items;
  const int target = std::clamp(value, 0, static_cast<int>(items.size()) - 1);
  if (target == current) return;
  const auto from = items.begin() + current;
  const auto to = items.begin() + target;
  if (target < current)
    std::rotate(to, from, from + 1);
  else
    std::rotate(from, from + 1, to + 1);
  Changed(true);
}

std::string TCollectionItem::GetDisplayName() const { return ClassName(); }

void TCollectionItem::Changed(bool allItems) {
  if (collection == nullptr || collection->updateCount > 0) return;
  collection->Update(allItems ? nullptr : this);
}

// ---- TCollection ----

RTL_DEFINE_CLASS(TCollection)

TCollection::TCollection(const TClassInfo& itemClass, TItemFactory factory)
    : itemClass(itemClass), factory(factory) {
  ORV_ASSERT(factory != nullptr);
}

TCollection::~TCollection() {
  // Quietly: the holder of the collection may already be half gone.
  updateCount = 1;
  Clear();
}

TCollectionItem* TCollection::Items(int index) const {
  if (index < 0 || index >= Count()) throw EListError(SListIndexError, {index});
  return items[static_cast<size_t>(index)].get();
}

TCollectionItem* TCollection::Add() {
  TCollectionItem* item = factory(this);
  ORV_ASSERT(item != nullptr && item->collection == this && item->InheritsFrom(itemClass));
  Changed();
  return item;
}

TCollectionItem* TCollection::Insert(int index) {
  if (index < 0 || index > Count()) throw EListError(SListIndexError, {index});
  BeginUpdate();
  TCollectionItem* item = nullptr;
  try {
    item = Add();
    item->SetIndex(index);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  return item;
}

void TCollection::Delete(int index) {
  Items(index)->Free();  // leaves this collection from its destructor
}

void TCollection::Clear() {
  if (items.empty()) return;
  BeginUpdate();
  // Last first: each item's destructor takes it out of the list.
  while (!items.empty()) items.back()->Free();
  EndUpdate();
}

TCollectionItem* TCollection::FindItemID(int id) const {
  for (const auto& item : items)
    if (item->id == id) return item.get();
  return nullptr;
}

void TCollection::BeginUpdate() { ++updateCount; }

void TCollection::EndUpdate() {
  ORV_ASSERT(updateCount > 0);
  if (--updateCount == 0) Changed();
}

void TCollection::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TCollection*>(source);
  if (other == nullptr) return TPersistent::Assign(source);
  if (other == this) return;
  BeginUpdate();
  try {
    Clear();
    for (const auto& item : other->items) Add()->Assign(item.get());
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TCollection::Update(TCollectionItem* /*item*/) {}

void TCollection::Changed() {
  if (updateCount == 0) Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem* item) {
  ORV_ASSERT(item->collection == nullptr);
  items.emplace_back(item);
  item->collection = this;
  item->id = nextId++;
}

void TCollection::RemoveItem(TCollectionItem* item) {
  const auto it = std::find_if(items.begin(), items.end(), [item](const auto& p) { return p.get() == item; });
  ORV_ASSERT(it != items.end());
  it->release();  // the caller frees or keeps it
  items.erase(it);
  item->collection = nullptr;
  Changed();
}

bool CollectionsEqual(TCollection* a, TCollection* b) {
  if (a == b) return true;
  if (a == nullptr || b == nullptr || a->Count() != b->Count()) return false;
  for (int i = 0; i < a->Count(); ++i)
    if (&a->Items(i)->ClassType() != &b->Items(i)->ClassType()) return false;
  // Equal when both write the same bytes.
  TMemoryStream streamA;
  TMemoryStream streamB;
  TWriter writerA(streamA);
  TWriter writerB(streamB);
  writerA.WriteCollection(a);
  writerB.WriteCollection(b);
  return streamA.Size() == streamB.Size() &&
         std::equal(static_cast<const uint8_t*>(streamA.Memory()),
                    static_cast<const uint8_t*>(streamA.Memory()) + streamA.Size(),
                    static_cast<const uint8_t*>(streamB.Memory()));
}
