#pragma once
// One filter of a cursor: a condition in the expression language, or a
// record test of the caller, and the bitmap of the records it lets through.
// The handle a cursor hands out for a filter is its TFilter.

#include <cstdint>
#include <functional>
#include <memory>

#include "engHeap.h"
#include "rtlFormatSettings.h"

class TDataCursor;
class TExpToken;
class TRecordsBitmap;

// True keeps the record. record is a buffer of the cursor's record size.
using TFilterCallback = std::function<bool(const uint8_t* record, uint32_t recordNumber)>;

// Optimisation levels of a condition node.
enum : uint8_t {
  olNone = 0,     // every record is read and tested
  olPartial = 1,  // an AND whose first side an index serves
  olFull = 2,     // index keys alone answer it
};

// How a filter reads its condition and where it goes among the others.
struct TCursorFilterOptions {
  // Texts compared ignoring case.
  bool CaseInsensitive = false;
  // A text constant ending in "*" is compared whole, not as a prefix.
  bool NoPartialCompare = false;
  // A key range over more than half of the table is taken through the
  // keys outside it.
  bool CostChoice = false;
  // Evaluated over what the filters before it let through.
  bool Dependent = false;
};

// Tests records against one filter one after the other, as the filter's
// scan tests them: its evaluation's nodes, the columns' descriptors and
// the results it remembers by a column's value serve every record. For a
// caller that reads the records itself (of the cursor's record size) and
// leaves the filter off: no scan reads them ahead of it. The filter
// outlives the test.
class TFilterRecordTest {
public:
  virtual ~TFilterRecordTest() = default;
  virtual bool Passes(const uint8_t* record, uint32_t recordNumber) = 0;
};

// The conjuncts of a filter's condition a record test tests.
enum class TTestedConjuncts : uint8_t { All, Unserved };

class TFilter : public TEngineObject {
public:
  // A condition filter over tree (freed with the filter when ownsTree), or
  // a callback filter when tree is nil.
  TFilter(TDataCursor& owner, TExpToken* tree, bool ownsTree, TFilterCallback callback);
  ~TFilter() override;
  TFilter(const TFilter&) = delete;
  TFilter& operator=(const TFilter&) = delete;

  TDataCursor& Owner;
  TExpToken* Condition;
  bool OwnsTree;
  bool IsCallback;
  TFilterCallback Callback;
  bool Active = false;
  uint8_t OptimizeLevel = olNone;
  // Evaluated over what the filters before it let through.
  bool Dependent = false;
  // A key range over more than half of the table is taken through the
  // keys outside it.
  bool CostChoice = false;
  bool CaseInsensitive = false;
  bool NoPartialCompare = false;
  // The session's, for conversions inside the condition: the rules kept
  // for the process, which a filter made per statement would copy whole.
  const TFormatSettings* FormatSettings = &NeutralFormatSettings();
  TRecordsBitmap* Bitmap;

  // Narrows bitmap (the records to consider) to the records accepted.
  void Evaluate(TRecordsBitmap& bitmap);
  // The test of one record, read by the caller.
  bool Accepts(const uint8_t* record, uint32_t recordNumber);
  // A test of the records a caller reads, one after the other: of the
  // whole condition, or of its conjuncts no index serves, for a caller
  // whose records the served ones already picked.
  std::unique_ptr<TFilterRecordTest> NewRecordTest(TTestedConjuncts tested = TTestedConjuncts::All);
};
