#include "engExpToken.h"

#include <algorithm>
#include <cstring>

#include "rtlAssert.h"
#include "rtlStrUtils.h"

namespace {

constexpr int32_t PoolCapacity = 1024;

template <typename Visit>
void ForEachChild(TExpToken* node, Visit visit) {
  for (TExpToken* child : {node->First, node->Second, node->Third})
    for (TExpToken* element = child; element;) {
      TExpToken* next = element->Next;  // visit may release the element
      visit(element);
      element = next;
    }
}

// Links each copy in at once, so that a raise leaves no copy unowned.
void CloneChain(const TExpToken* chain, TExpToken* parent, TExpToken*& link) {
  TExpToken** tail = &link;
  for (const TExpToken* element = chain; element; element = element->Next) {
    *tail = CloneTokenTree(element);
    (*tail)->Parent = parent;
    tail = &(*tail)->Next;
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

TExpTokenStack::TExpTokenStack() { freeTokens.Reserve(PoolCapacity); }

TExpTokenStack::~TExpTokenStack() = default;

TExpToken* TExpTokenStack::NewToken() {
  TExpToken* node = nullptr;
  {
    std::lock_guard guard(lock);
    if (!freeTokens.Empty()) node = freeTokens.ExtractLast().release();
  }
  if (!node) return new TExpToken;
  node->Clear();
  return node;
}

void TExpTokenStack::ReleaseToken(TExpToken* node) {
  ORV_ASSERT(node != nullptr);
  std::unique_ptr<TExpToken> owned(node);
  std::lock_guard guard(lock);
  freeTokens.Add(std::move(owned));
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

void FreeTokenTree(TExpToken*& root) {
  if (!root) return;
  ForEachChild(root, [](TExpToken* child) { FreeTokenTree(child); });
  ReleaseToken(root);
}

TExpToken* CloneTokenTree(const TExpToken* root) {
  if (!root) return nullptr;
  TExpTreePtr copy(NewToken());
  copy->Assign(*root);
  copy->Parent = copy->Next = nullptr;
  copy->First = copy->Second = copy->Third = nullptr;
  CloneChain(root->First, copy.get(), copy->First);
  CloneChain(root->Second, copy.get(), copy->Second);
  CloneChain(root->Third, copy.get(), copy->Third);
  return copy.release();
}

bool TokenTreesEqual(const TExpToken* a, const TExpToken* b) {
  if (!a || !b) return a == b;
  return a->SameNode(*b) && ChainsEqual(a->First, b->First) && ChainsEqual(a->Second, b->Second) &&
         ChainsEqual(a->Third, b->Third);
}
