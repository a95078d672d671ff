#include "engExpToken.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "rtlAssert.h"
#include "rtlStrUtils.h"

namespace {

constexpr int32_t PoolCapacity = 1024;
// The nodes a tree's copy or release moves to or from the pool under one
// hold of its lock.
constexpr size_t TokenBatch = 32;

template <typename Visit>
void ForEachChild(TExpToken* node, Visit visit) {
  for (TExpToken* child : {node->First, node->Second, node->Third})
    for (TExpToken* element = child; element;) {
      TExpToken* next = element->Next;  // visit may release the element
      visit(element);
      element = next;
    }
}

bool ChainsEqual(const TExpToken* a, const TExpToken* b) {
  for (; a && b; a = a->Next, b = b->Next)
    if (!TokenTreesEqual(a, b)) return false;
  return !a && !b;
}

}  // namespace

TExpToken::TExpToken() { GrowBuffer(ValueStep, ValueStep, Value, ValueCapacity); }

TExpToken::~TExpToken() { EngineFreeMem(Value); }

void TExpToken::Clear() {
  Text.clear();
  Kind = Code = 0;
  Name.clear();
  FieldNo = 0;
  CorrelationName.clear();
  SourceTable = nullptr;
  NestedQuery = nullptr;
  IsNull = IsParam = CaseInsensitive = FromString = false;
  CompareLength = 0;
  DataType = dtNone;
  SubType = stNone;
  DataSize = SavedSize = 0;
  Scale = SavedType = SavedSubType = SavedScale = 0;
  Parent = First = Second = Third = Next = nullptr;
  Height = 0;
  OptimizeLevel = 0;
  memset(Value, 0, ValueCapacity);
}

void TExpToken::Assign(const TExpToken& source) {
  if (&source == this) return;
  AssignValue(source);
  Text = source.Text;
  Name = source.Name;
  CorrelationName = source.CorrelationName;
  Parent = source.Parent;
  First = source.First;
  Second = source.Second;
  Third = source.Third;
  Next = source.Next;
}

void TExpToken::AssignValue(const TExpToken& source) {
  if (&source == this) return;
  if (source.ValueCapacity > ValueCapacity) GrowBuffer(source.ValueCapacity, ValueStep, Value, ValueCapacity);
  memcpy(Value, source.Value, source.ValueCapacity);
  if (ValueCapacity > source.ValueCapacity) memset(Value + source.ValueCapacity, 0, ValueCapacity - source.ValueCapacity);
  Kind = source.Kind;
  Code = source.Code;
  FieldNo = source.FieldNo;
  SourceTable = source.SourceTable;
  NestedQuery = source.NestedQuery;
  IsNull = source.IsNull;
  IsParam = source.IsParam;
  CompareLength = source.CompareLength;
  CaseInsensitive = source.CaseInsensitive;
  DataType = source.DataType;
  SubType = source.SubType;
  DataSize = source.DataSize;
  Scale = source.Scale;
  FromString = source.FromString;
  SavedType = source.SavedType;
  SavedSubType = source.SavedSubType;
  SavedSize = source.SavedSize;
  SavedScale = source.SavedScale;
  Height = source.Height;
  OptimizeLevel = source.OptimizeLevel;
}

bool TExpToken::SameNode(const TExpToken& other) const {
  if (Kind != other.Kind || Code != other.Code || !SameText(Name, other.Name) ||
      !SameText(CorrelationName, other.CorrelationName) || IsParam != other.IsParam ||
      CompareLength != other.CompareLength || CaseInsensitive != other.CaseInsensitive ||
      DataType != other.DataType || SubType != other.SubType || DataSize != other.DataSize || Scale != other.Scale)
    return false;
  if (Kind != nkConstant) return true;
  if (IsNull != other.IsNull) return false;
  return IsNull || memcmp(Value, other.Value, std::clamp(DataSize, 0, ValueCapacity)) == 0;
}

// The buffer holds at least DataSize bytes whoever set the size before.
void TExpToken::SetDataSize(int32_t size) {
  DataSize = size;
  if (size > ValueCapacity) GrowBuffer(size, ValueStep, Value, ValueCapacity);
}

template <typename T>
T TExpToken::Read() const {
  T value;
  memcpy(&value, Value, sizeof value);
  return value;
}

template <typename T>
void TExpToken::Write(T value) {
  memcpy(Value, &value, sizeof value);
}

bool TExpToken::AsBoolean() const { return Read<uint16_t>() != 0; }
int16_t TExpToken::AsSmallInt() const { return Read<int16_t>(); }
int32_t TExpToken::AsInteger() const { return Read<int32_t>(); }
uint16_t TExpToken::AsWord() const { return Read<uint16_t>(); }
double TExpToken::AsFloat() const { return Read<double>(); }
int64_t TExpToken::AsBcd() const { return Read<int64_t>(); }
const char* TExpToken::AsText() const { return reinterpret_cast<const char*>(Value); }

void TExpToken::SetBoolean(bool value) { Write<uint16_t>(value ? 1 : 0); }
void TExpToken::SetSmallInt(int16_t value) { Write(value); }
void TExpToken::SetInteger(int32_t value) { Write(value); }
void TExpToken::SetWord(uint16_t value) { Write(value); }
void TExpToken::SetFloat(double value) { Write(value); }
void TExpToken::SetBcd(int64_t stored) { Write(stored); }

void TExpToken::SetText(std::string_view text) {
  SetDataSize(static_cast<int32_t>(text.size()) + 1);
  memcpy(Value, text.data(), text.size());
  Value[text.size()] = 0;
}

void TExpToken::SetNull() {
  IsNull = true;
  memset(Value, 0, ValueCapacity);
}

namespace {

std::atomic<uint64_t> lastGeneration{0};

class TLocalTokens;

// Every thread's nodes, for the pool's end to free them with it: no thread
// uses the engine while it stops, and a thread that ends takes its own out
// under the same lock.
struct TLocalTokensList {
  std::mutex lock;
  std::vector<TLocalTokens*> caches;
};

TLocalTokensList& LocalTokensList() {
  static TLocalTokensList list;
  return list;
}

// A thread's free nodes, taken and given without the pool's lock: at most
// two batches; past that a batch goes to the pool, and when none is left a
// batch comes from it. They belong to the pool of one engine start and go
// with it (TExpTokenStack's end) or with their thread.
class TLocalTokens {
public:
  TLocalTokens() = default;
  ~TLocalTokens() {
    if (!listed) return;
    TLocalTokensList& list = LocalTokensList();
    std::lock_guard guard(list.lock);
    std::erase(list.caches, this);
    Free();
  }
  TLocalTokens(const TLocalTokens&) = delete;
  TLocalTokens& operator=(const TLocalTokens&) = delete;

  TExpToken* Take(TExpTokenStack& pool) {
    Belong(pool);
    if (count == 0) count = size_t(pool.TakeShared({nodes.data(), TokenBatch}));
    return count > 0 ? nodes[--count] : nullptr;
  }

  void Give(TExpTokenStack& pool, TExpToken* node) {
    ORV_ASSERT(node != nullptr);
    Belong(pool);
    if (count == nodes.size()) {
      count -= TokenBatch;
      pool.ReleaseShared({nodes.data() + count, TokenBatch});
    }
    nodes[count++] = node;
  }

  // The pool ends (on the stopping thread, the list's lock held): its nodes
  // kept here go with it.
  void Forget(const TExpTokenStack& pool) {
    if (generation == pool.Generation()) Free();
  }

private:
  std::array<TExpToken*, 2 * TokenBatch> nodes;
  size_t count = 0;
  uint64_t generation = 0;
  bool listed = false;
  const std::thread::id owner = std::this_thread::get_id();

  void Belong(const TExpTokenStack& pool) {
    ORV_ASSERT(owner == std::this_thread::get_id() && count <= nodes.size());
    if (generation == pool.Generation()) return;
    // Nodes of an ended pool went with it.
    ORV_ASSERT(count == 0);
    generation = pool.Generation();
    if (listed) return;
    TLocalTokensList& list = LocalTokensList();
    std::lock_guard guard(list.lock);
    list.caches.push_back(this);
    listed = true;
  }

  void Free() {
    while (count > 0) delete nodes[--count];
  }
};

thread_local TLocalTokens localTokens;

}  // namespace

TExpTokenStack::TExpTokenStack() : generation(++lastGeneration) { freeTokens.Reserve(PoolCapacity); }

TExpTokenStack::~TExpTokenStack() {
  TLocalTokensList& list = LocalTokensList();
  std::lock_guard guard(list.lock);
  for (TLocalTokens* cache : list.caches) cache->Forget(*this);
}

TExpToken* TExpTokenStack::NewToken() {
  TExpToken* node = localTokens.Take(*this);
  if (!node) return new TExpToken;
  node->Clear();
  return node;
}

void TExpTokenStack::ReleaseToken(TExpToken* node) { localTokens.Give(*this, node); }

int32_t TExpTokenStack::TakeTokens(std::span<TExpToken*> nodes) {
  int32_t taken = 0;
  for (; size_t(taken) < nodes.size(); ++taken) {
    TExpToken* node = localTokens.Take(*this);
    if (!node) break;
    nodes[size_t(taken)] = node;
  }
  return taken;
}

void TExpTokenStack::ReleaseTokens(std::span<TExpToken* const> nodes) {
  for (TExpToken* node : nodes) localTokens.Give(*this, node);
}

int32_t TExpTokenStack::TakeShared(std::span<TExpToken*> nodes) {
  std::lock_guard guard(lock);
  int32_t taken = 0;
  for (; size_t(taken) < nodes.size() && !freeTokens.Empty(); ++taken)
    nodes[size_t(taken)] = freeTokens.ExtractLast().release();
  return taken;
}

void TExpTokenStack::ReleaseShared(std::span<TExpToken* const> nodes) {
  std::lock_guard guard(lock);
  for (TExpToken* node : nodes) {
    ORV_ASSERT(node != nullptr);
    freeTokens.Adopt(node);
  }
}

TExpTokenStack* ExpTokenStack = nullptr;

TExpToken* NewToken() { return ExpTokenStack ? ExpTokenStack->NewToken() : new TExpToken; }

void ReleaseToken(TExpToken*& node) {
  if (!node) return;
  if (ExpTokenStack)
    ExpTokenStack->ReleaseToken(node);
  else
    delete node;
  node = nullptr;
}

namespace {

// A tree's nodes gathered for the pool a batch at a time. A node goes in
// after its children, and nothing of it is read once it is in.
class TTokenReturns {
public:
  TTokenReturns() = default;
  ~TTokenReturns() { Flush(); }
  TTokenReturns(const TTokenReturns&) = delete;
  TTokenReturns& operator=(const TTokenReturns&) = delete;

  void AddTree(TExpToken* root) {
    ForEachChild(root, [this](TExpToken* child) { AddTree(child); });
    if (count == TokenBatch) Flush();
    nodes[count++] = root;
  }

private:
  std::array<TExpToken*, TokenBatch> nodes;
  size_t count = 0;

  void Flush() {
    if (ExpTokenStack)
      ExpTokenStack->ReleaseTokens({nodes.data(), count});
    else
      for (size_t i = 0; i < count; ++i) delete nodes[i];
    count = 0;
  }
};

size_t CountNodes(const TExpToken* root) {
  size_t count = 1;
  for (const TExpToken* child : {root->First, root->Second, root->Third})
    for (const TExpToken* element = child; element; element = element->Next) count += CountNodes(element);
  return count;
}

// Cleared nodes for a copy of a tree of a known size, drawn from the pool a
// batch at a time; what is left unused goes back.
class TTokenSupply {
public:
  explicit TTokenSupply(size_t wanted) : wanted(wanted) {}
  ~TTokenSupply() {
    if (next < count) ExpTokenStack->ReleaseTokens({nodes.data() + next, count - next});
  }
  TTokenSupply(const TTokenSupply&) = delete;
  TTokenSupply& operator=(const TTokenSupply&) = delete;

  TExpToken* Take() {
    if (next == count) Refill();
    if (wanted > 0) --wanted;
    if (next == count) return new TExpToken;
    TExpToken* node = nodes[next++];
    node->Clear();
    return node;
  }

private:
  std::array<TExpToken*, TokenBatch> nodes;
  size_t wanted;
  size_t count = 0;
  size_t next = 0;

  void Refill() {
    next = count = 0;
    if (!ExpTokenStack || wanted == 0) return;
    count = size_t(ExpTokenStack->TakeTokens({nodes.data(), std::min(wanted, nodes.size())}));
  }
};

TExpToken* CloneFrom(const TExpToken* root, TTokenSupply& supply);

// Links each copy in at once, so that a raise leaves no copy unowned.
void CloneChainFrom(const TExpToken* chain, TExpToken* parent, TExpToken*& link, TTokenSupply& supply) {
  TExpToken** tail = &link;
  for (const TExpToken* element = chain; element; element = element->Next) {
    *tail = CloneFrom(element, supply);
    (*tail)->Parent = parent;
    tail = &(*tail)->Next;
  }
}

TExpToken* CloneFrom(const TExpToken* root, TTokenSupply& supply) {
  TExpTreePtr copy(supply.Take());
  copy->Assign(*root);
  copy->Parent = copy->Next = nullptr;
  copy->First = copy->Second = copy->Third = nullptr;
  CloneChainFrom(root->First, copy.get(), copy->First, supply);
  CloneChainFrom(root->Second, copy.get(), copy->Second, supply);
  CloneChainFrom(root->Third, copy.get(), copy->Third, supply);
  return copy.release();
}

}  // namespace

void FreeTokenTree(TExpToken*& root) {
  if (!root) return;
  TTokenReturns returns;
  returns.AddTree(root);
  root = nullptr;
}

TExpToken* CloneTokenTree(const TExpToken* root) {
  if (!root) return nullptr;
  TTokenSupply supply(CountNodes(root));
  return CloneFrom(root, supply);
}

bool TokenTreesEqual(const TExpToken* a, const TExpToken* b) {
  if (!a || !b) return a == b;
  return a->SameNode(*b) && ChainsEqual(a->First, b->First) && ChainsEqual(a->Second, b->Second) &&
         ChainsEqual(a->Third, b->Third);
}
