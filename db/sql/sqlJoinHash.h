#pragma once
// A small inner table joined by equalities, read once into memory by its
// key: the outer table is then read in sequence and each of its rows finds
// its partners by the key, instead of binding a filter on the inner table
// per outer row. Only where a key of bytes compares as the engine's "="
// does: whole numbers (as 64-bit values), dates, times, booleans, and texts
// of language-0 tables in a query that evaluates in language 0 (bytes). A
// key holding NULL matches nothing here: an outer row with a NULL key takes
// the filter path, and inner rows with a NULL key are left out.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engExpEval.h"
#include "engExpToken.h"

class TDataQuery;
struct TFieldDefinition;
struct TSourceTable;

// Inner tables of at most this many records (after their own filters).
inline constexpr int32_t MaxHashedRows = 10000;
// An outer table of at least this many records reads in sequence; below,
// the smallest table drives as usual.
inline constexpr int32_t MinHashDriverRows = 1000;
// Beyond this the join keeps its filter.
inline constexpr size_t MaxHashedBytes = size_t(16) << 20;

struct TJoinHash {
  using TRows = std::unordered_multimap<std::string, std::vector<uint8_t>>;
  using TRange = std::pair<TRows::const_iterator, TRows::const_iterator>;
  TRows Rows;
  // Each key's rows in Rows, found by a word-wise hash of the key's bytes
  // in open slots, so that an outer row's key is looked up where the row
  // holds it (building and hashing a string every row took a tenth of the
  // join).
  struct TKeyRows {
    uint64_t Hash = 0;
    std::string_view Key;
    TRange Range;
  };
  std::vector<TKeyRows> KeyRows;
  std::vector<uint32_t> Slots;  // 0: empty; else a KeyRows index + 1
  // The current outer row's key (the row's own bytes, or Key) and its hash,
  // and the nodes its values are worked out in, kept from row to row.
  std::string_view Probe;
  uint64_t ProbeHash = 0;
  std::string Key;
  TExpToken Value;
  TExpScratch Scratch;
  // Whether the outer side is a lone text column read where the row holds
  // it, found at the first outer row (its table and field stay for the
  // statement's execution, which builds the table anew).
  enum class TOuterSide : uint8_t { Unknown, StoredText, Other };
  TOuterSide OuterSide = TOuterSide::Unknown;
  const TSourceTable* OuterTable = nullptr;
  const TFieldDefinition* OuterField = nullptr;

  // Indexes Rows' keys, once Rows is whole.
  void IndexKeys();
  // The rows of Probe's key, in Rows' order; empty when none.
  TRange Find() const;
};

// Whether the comparison (inner column on one side, the partner's
// expression on the other) can be keyed: an "=" whose inner side is a bare
// column of inner and whose sides are of one key family.
bool CanKeyComparison(const TExpToken& comparison, const TSourceTable& inner, bool innerFirst, uint16_t evaluationLanguage);

// The inner table's records by key (condition: ANDed comparisons, inner
// column first); nil when they do not fit MaxHashedBytes.
std::unique_ptr<TJoinHash> BuildJoinHash(TDataQuery& query, TSourceTable& inner, const TExpToken& condition);

// The outer row's key for the condition, into hash.Probe and its hash into
// hash.ProbeHash; false when a part is NULL.
bool OuterJoinKey(TDataQuery& query, const TExpToken& condition, TJoinHash& hash);
