#pragma once
// Rows folded in memory before they reach the answer table: a DISTINCT
// row equal byte for byte to one already taken, or a row of a group
// already taken, goes into that row instead of becoming a record of its
// own. The sorts that follow (distinct and group modes) see far fewer
// records and fold the rest as before: rows equal byte for byte are equal
// under any comparison, and a group's partial totals add like its rows.
// Memory is bounded: past the bound, rows of new keys go to the answer
// table as they come.
//
// A DISTINCT over plain columns knows a duplicate before its row is built:
// equal stored bytes in the source fields build equal rows, so a row whose
// source values were met already is dropped unbuilt.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class TTableCursor;
class TDataQuery;
struct TFieldDefinition;
struct TSourceTable;

// Whether the query is a DISTINCT whose duplicates TRowFolder::SourceSeen
// knows from their source values (plain columns only, no BLOB).
bool DistinctFoldsBySource(const TDataQuery& query);

class TRowFolder {
public:
  // Folds only for DISTINCT and GROUP BY queries that are not
  // aggregates-only; otherwise every row is the caller's. Nor with a BLOB
  // column (a group's memo, not grouped): a built row's value is a BLOB
  // open in the answer until the row's insert commits it, and every insert
  // frees the open BLOBs of rows not inserted, so a row kept for later
  // would lose its value. Such rows go to the answer as they come, and the
  // group sort keeps each group's first.
  TRowFolder(TDataQuery& query, TTableCursor& answer);
  TRowFolder(const TRowFolder&) = delete;
  TRowFolder& operator=(const TRowFolder&) = delete;

  // True when the current source row builds a row already taken: the
  // caller drops it without building it.
  bool SourceSeen();
  // True when the row was folded (or kept to be written by Flush); false
  // when the caller inserts it.
  bool Take(const uint8_t* row);
  // Inserts the kept rows into the answer table.
  void Flush();
  // Of an answer that moved (flushed first) to a table laid out alike.
  void Retarget(TTableCursor& next);

private:
  TDataQuery& query;
  TTableCursor* answer;
  bool active;
  size_t recordSize;
  size_t maxBytes;
  size_t bytes = 0;
  std::vector<int> keyFields;   // GROUP BY columns; empty: the whole row
  std::vector<int> keyWidths;
  std::vector<uint8_t> field;   // one key field's value
  std::unordered_map<std::string, size_t> index;
  std::vector<std::vector<uint8_t>> rows;
  // DISTINCT over plain columns only: the source values of the rows taken,
  // end to end in one text, found by their hashes in open slots (a set of
  // strings hashed and compared every row took a quarter of the scan). A
  // row's values are hashed and compared where the row lies; only a new
  // one is copied. Each value is a flag (0 blank, 1 set, 2 no row), then a
  // set value's bytes: a text up to its end and a zero byte, else its
  // stored bytes.
  struct TSourceKey {
    uint64_t Hash = 0;
    size_t Offset = 0;
    size_t Length = 0;
  };
  // A result column's source field, and its value in the current row.
  struct TSourcePart {
    const TSourceTable* Table = nullptr;
    const TFieldDefinition* Field = nullptr;
    bool Text = false;
    uint8_t Flag = 0;
    const uint8_t* Bytes = nullptr;
    size_t Length = 0;
  };
  bool bySource = false;
  std::vector<TSourcePart> sourceParts;
  std::string sourceKeyBytes;
  std::vector<TSourceKey> sourceKeys;
  std::vector<uint32_t> sourceSlots;  // 0: empty; else a key's index + 1

  std::string KeyOf(const uint8_t* row);
  // Takes the current source row's values into sourceParts: their hash
  // and the length of their key.
  uint64_t ReadSourceParts(size_t& length);
  bool SourcePartsEqual(const char* held) const;
};
