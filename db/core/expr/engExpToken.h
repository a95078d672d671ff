#pragma once
// One node of a parsed expression, which is also the holder of one value,
// and the process-wide pool that recycles nodes so that repeated parsing and
// evaluation stop allocating once the pool is warm.
//
// Links: a node's children are First, Second and Third. Lists (IN values,
// BETWEEN bounds, the further arguments of SUBSTRING, REPLACE and data
// types) hang from a child link as a chain through each element's Next.

#include <bit>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "engExpCodes.h"
#include "engHeap.h"
#include "engOwnedList.h"

static_assert(std::endian::native == std::endian::little, "values are held in their little-endian field encodings");

class TExpNestedQuery;

// Where a column reference reads its value from, as the caller's column
// resolver bound it (the SQL layer's source tables). The engine only
// carries, copies and compares it; the resolver's owner says what it is.
class TExpColumnSource {
protected:
  ~TExpColumnSource() = default;
};

class TExpToken : public TEngineObject {
public:
  // Capacity of a fresh node's value buffer and the step it grows by.
  static constexpr int32_t ValueStep = 255;

  TExpToken();
  ~TExpToken() override;
  TExpToken(const TExpToken&) = delete;
  TExpToken& operator=(const TExpToken&) = delete;

  int32_t ValueCapacity = 0;
  std::string Text;  // the source text that made the node
  uint8_t Kind = 0;
  uint8_t Code = 0;  // operator or function code
  std::string Name;  // column name, at most 255 characters
  uint16_t FieldNo = 0;
  std::string CorrelationName;
  TExpColumnSource* SourceTable = nullptr;  // not owned; set by the column resolver
  TExpNestedQuery* NestedQuery = nullptr;  // not owned
  uint8_t* Value = nullptr;
  bool IsNull = false;
  bool IsParam = false;
  uint16_t CompareLength = 0;  // string comparison with options only
  bool CaseInsensitive = false;
  uint8_t DataType = dtNone;
  uint8_t SubType = stNone;
  int32_t DataSize = 0;  // meaningful value bytes; strings count their zero byte
  uint8_t Scale = 0;
  // A string constant turned into a column reference, and what it was.
  bool FromString = false;
  uint8_t SavedType = 0;
  uint8_t SavedSubType = 0;
  int32_t SavedSize = 0;
  uint8_t SavedScale = 0;
  TExpToken* Parent = nullptr;
  TExpToken* First = nullptr;
  TExpToken* Second = nullptr;
  TExpToken* Third = nullptr;
  TExpToken* Next = nullptr;
  // Height of the subtree as the parser built it (a leaf is 1).
  uint16_t Height = 0;
  // How far an index serves the condition under this node: 0 not at all,
  // 1 in part, 2 wholly; set by the cursor that filters with it.
  uint8_t OptimizeLevel = 0;

  // Empties every field, zero-fills the buffer and keeps its capacity.
  void Clear();
  // Copies every field, the links and the value bytes.
  void Assign(const TExpToken& source);
  // Copies the value bytes and every field that describes the value
  // (kind, code, column number and source, type, size, scale, flags); not
  // the texts, not the links.
  void AssignValue(const TExpToken& source);
  // Equal as nodes (links not compared): see TokenTreesEqual.
  bool SameNode(const TExpToken& other) const;
  // Stores the size and grows the buffer in steps of ValueStep to hold it;
  // the buffer never shrinks.
  void SetDataSize(int32_t size);

  // The value in its encoding. The buffer always holds at least 8 bytes.
  bool AsBoolean() const;  // any non-zero word is true
  int16_t AsSmallInt() const;
  int32_t AsInteger() const;  // also dates and times
  uint16_t AsWord() const;
  double AsFloat() const;  // also timestamps
  int64_t AsBcd() const;   // stored BCD form
  const char* AsText() const;

  void SetBoolean(bool value);
  void SetSmallInt(int16_t value);
  void SetInteger(int32_t value);
  void SetWord(uint16_t value);
  void SetFloat(double value);
  void SetBcd(int64_t stored);
  // The characters and a zero byte; DataSize becomes the length plus one.
  void SetText(std::string_view text);
  // The null flag set and the buffer zero-filled.
  void SetNull();

private:
  template <typename T>
  T Read() const;
  template <typename T>
  void Write(T value);
};

// The pool of free nodes. Each thread keeps a few of them in front of it
// (engExpToken.cpp): a statement takes and gives back a few hundred, one or
// a tree at a time, and the pool's lock was taken for each.
class TExpTokenStack : public TEngineObject {
public:
  TExpTokenStack();
  ~TExpTokenStack() override;

  // Through the calling thread's nodes.
  TExpToken* NewToken();
  void ReleaseToken(TExpToken* node);
  // Take fills nodes as far as there are any (uncleared) and returns how
  // many it filled.
  int32_t TakeTokens(std::span<TExpToken*> nodes);
  void ReleaseTokens(std::span<TExpToken* const> nodes);

  // The shared pool itself, under one hold of its lock: for a thread's
  // nodes, which go and come a batch at a time.
  int32_t TakeShared(std::span<TExpToken*> nodes);
  void ReleaseShared(std::span<TExpToken* const> nodes);
  // This pool's number among the pools of the process's engine starts.
  uint64_t Generation() const { return generation; }

private:
  std::mutex lock;
  TOwnedList<TExpToken> freeTokens;
  const uint64_t generation;
};

// Exists between engine library start and stop.
extern TExpTokenStack* ExpTokenStack;

// A cleared node; outside a started engine library a fresh one, not pooled.
TExpToken* NewToken();
// Returns the node and empties the variable; nil is ignored.
void ReleaseToken(TExpToken*& node);
// Releases a node with its children and their chains; nil is ignored.
void FreeTokenTree(TExpToken*& root);
// A deep copy; nil gives nil. The copy's root has no parent and no Next.
TExpToken* CloneTokenTree(const TExpToken* root);
// Both nil, or the same shape with every pair of nodes SameNode.
bool TokenTreesEqual(const TExpToken* a, const TExpToken* b);

// Owns a tree until it is released, so that a raise in the middle of
// building one returns its nodes to the pool.
struct TExpTreeDeleter {
  void operator()(TExpToken* root) const { FreeTokenTree(root); }
};
using TExpTreePtr = std::unique_ptr<TExpToken, TExpTreeDeleter>;
