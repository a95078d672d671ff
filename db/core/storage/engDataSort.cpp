// Record sorting. A file whose records are all cached is sorted in memory,
// so is one small enough to read whole; any other is cut into blocks, each
// sorted into a run of a work file, and the runs are merged. Either way the records go out in key order over the
// record area, renumbered, with equal keys folded when asked.

#include "engDataSort.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>
#include <queue>
#include <string>
#include <vector>

#include "engDataFile.h"
#include "engDataIo.h"
#include "engErrorCodes.h"
#include "engErrors.h"
#include "engFileBuffer.h"
#include "engFileList.h"
#include "engKeyCompare.h"
#include "engKeyEncoding.h"
#include "engLittleEndian.h"
#include "engScopeGuard.h"
#include "engTextCompare.h"

namespace {

constexpr int32_t SortBlockBytes = 2097120;
constexpr int32_t MaxSortBlockRecords = 8191;
constexpr int RowNumberBytes = 4;
constexpr int32_t KeyWordBytes = 8;

int32_t WholeWords(int32_t bytes) { return (bytes + KeyWordBytes - 1) / KeyWordBytes * KeyWordBytes; }

// Eight key bytes as a number that orders as the bytes do.
inline uint64_t LoadKeyWord(const uint8_t* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
  return word;
}

// Bytes of the whole key that a compact key keeps, and whether they belong
// to the fields or to the row number.
struct TKeyPiece {
  int32_t From, Length;
  bool InFields;
};

// A record's sort key: per key field its null byte and order-preserving
// value, then the record's row number, so that records of equal keys keep
// the order their rows were given in (an answer's, the order it was
// filled), as an index that is not unique keeps them.
class TSortKey {
public:
  TSortKey(const TSortKeyField* keys, int count, bool caseInsensitive, uint16_t languageId, uint16_t sortId)
      : keys(keys), count(count), caseInsensitive(caseInsensitive), languageId(languageId), sortId(sortId) {
    for (int i = 0; i < count; ++i) {
      // One comparer per run of up to MaxKeyFields fields, so a key of any
      // number of fields collates as an index key does.
      if (i % MaxKeyFields == 0) {
        slices.emplace_back();
        slices.back().LanguageId = languageId;
        slices.back().SortId = sortId;
        sliceLengths.push_back(0);
      }
      TKeyComparer& slice = slices.back();
      TKeyField& field = slice.Fields[slice.FieldCount++];
      field.FieldType = keys[i].Desc[FieldDescTypeOffset];
      field.StoredSize = keys[i].Desc[FieldDescStoredSizeOffset];
      field.Descending = keys[i].Descending;
      sliceLengths.back() += field.StoredSize + 1;
    }
    for (int32_t length : sliceLengths) fieldsLength += length;
  }

  int32_t Length() const { return fieldsLength + RowNumberBytes; }
  int32_t FieldsLength() const { return fieldsLength; }
  // Keys compare as their bytes do, the row number after the fields: no
  // text collated by a language.
  bool ComparesAsBytes() const { return languageId == 0; }

  void Build(const uint8_t* record, uint8_t* out) const {
    for (int i = 0; i < count; ++i) {
      const uint8_t* desc = keys[i].Desc;
      // An auto-increment field is never blank and lives in the record header.
      const bool autoInc = IsAutoIncField(desc);
      const uint16_t offset = FieldRecordOffset(desc);
      const uint8_t nullByte = autoInc ? 1 : record[offset];
      const uint8_t* value = autoInc ? record + RecordAutoIncOffset : record + offset + 1;
      *out = nullByte;
      BuildKeySegment(desc, nullByte ? value : nullptr, out, caseInsensitive, keys[i].Descending, languageId,
                      sortId);
      out += desc[FieldDescStoredSizeOffset] + 1;
    }
    // Most significant byte first: compared as bytes, the numbers' order.
    EncodeInt32Key(int32_t(GetLE32(record + RecordAutoIncOffset)), out);
  }

  int Compare(const uint8_t* a, const uint8_t* b, bool withRowNumber) const {
    for (size_t i = 0; i < slices.size(); ++i) {
      if (int c = slices[i].CompareKeys(a, b, sliceLengths[i])) return c;
      a += sliceLengths[i];
      b += sliceLengths[i];
    }
    return withRowNumber ? CompareBytes(a, b, RowNumberBytes, false) : 0;
  }

private:
  const TSortKeyField* keys;
  int count;
  bool caseInsensitive;
  uint16_t languageId;
  uint16_t sortId;
  std::vector<TKeyComparer> slices;
  std::vector<int32_t> sliceLengths;
  int32_t fieldsLength = 0;
};

// A work file of the sort, gone again when the sort ends.
class TSortWorkFile {
public:
  TSortWorkFile(const std::string& directory, bool inMemory) {
    handler.InMemory = inMemory;
    handler.Temporary = true;
    handler.FileName = GetUniqueFileName(directory, ".TMP", inMemory);
    handler.CreateFile();
  }
  ~TSortWorkFile() {
    try {
      handler.Close();
      if (handler.Exists()) handler.DeleteFile();
    } catch (...) {
      // A leftover work file is harmless; the sort's own outcome stands.
    }
  }
  TSortWorkFile(const TSortWorkFile&) = delete;
  TSortWorkFile& operator=(const TSortWorkFile&) = delete;

  TFileHandler handler;
};

// The places where keys differ, found over the whole keys noted: the first
// key, and per place whether any other differs from it. Keys are whole
// words, their tails zero.
class TKeyDifferences {
public:
  explicit TKeyDifferences(int32_t keyLength)
      : words(size_t(WholeWords(keyLength) / KeyWordBytes)), first(words), differs(words), scratch(words) {}
  // Room for a whole key to be built and then noted.
  uint8_t* Scratch() { return reinterpret_cast<uint8_t*>(scratch.data()); }
  void NoteScratch() { Note(scratch.data()); }
  // Those of other too, as if its keys had been noted here.
  void Join(const TKeyDifferences& other) {
    if (!other.noted) return;
    Note(other.first.data());
    for (size_t w = 0; w < words; ++w) differs[w] |= other.differs[w];
  }
  // Per place a byte other than 0 where two keys differ.
  const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(differs.data()); }

private:
  void Note(const uint64_t* key) {
    if (!noted) {
      std::copy_n(key, words, first.begin());
      noted = true;
      return;
    }
    for (size_t w = 0; w < words; ++w) differs[w] |= key[w] ^ first[w];
  }

  size_t words;
  std::vector<uint64_t> first, differs, scratch;
  bool noted = false;
};

// Keys without the bytes every key has alike: the bytes from the fields,
// zero-filled to whole words, then those from the row number, likewise;
// held as words that order as the bytes do. Bytes at a place where every
// key has the same byte decide no order, so keys without them compare as
// the whole keys do and equal fields stay equal. A text key is mostly its
// padding (a printer's name of a dozen letters in 250 bytes), which every
// compare of two equal names went through.
class TCompactForm {
public:
  // Length 0: the keys stay whole, where nothing differs or where leaving
  // out what is alike saves less than a quarter.
  int32_t Length = 0;
  int32_t Fields = 0;

  TCompactForm() = default;
  TCompactForm(const TKeyDifferences& differences, int32_t keyLength, int32_t fieldsLength) {
    const uint8_t* differs = differences.Bytes();
    std::vector<TKeyPiece> found;
    int32_t fields = 0, length = 0;
    for (int32_t p = 0; p < keyLength;) {
      if (!differs[size_t(p)]) {
        ++p;
        continue;
      }
      // Runs of places that differ somewhere, none across the fields' end.
      const int32_t end = p < fieldsLength ? fieldsLength : keyLength;
      int32_t q = p;
      while (q < end && differs[size_t(q)]) ++q;
      found.push_back({p, q - p, p < fieldsLength});
      length += q - p;
      if (p < fieldsLength) fields += q - p;
      p = q;
    }
    if (length == 0 || length * 4 > keyLength * 3) return;
    pieces = std::move(found);
    Fields = WholeWords(fields);
    Length = Fields + WholeWords(length - fields);
  }

  // The compact form of the whole key, as Length / KeyWordBytes words.
  void Build(const uint8_t* whole, uint64_t* out) const {
    uint8_t* bytes = reinterpret_cast<uint8_t*>(out);
    std::memset(bytes, 0, size_t(Length));
    uint8_t* to = bytes;
    bool inFields = true;
    for (const TKeyPiece& piece : pieces) {
      if (inFields && !piece.InFields) {
        to = bytes + Fields;
        inFields = false;
      }
      std::memcpy(to, whole + piece.From, size_t(piece.Length));
      to += piece.Length;
    }
    for (int32_t w = 0; w < Length / KeyWordBytes; ++w) out[w] = LoadKeyWord(bytes + size_t(w) * KeyWordBytes);
  }

  // Of two compact keys, over their fields or whole.
  int Compare(const uint8_t* a, const uint8_t* b, bool withRowNumber) const {
    const int32_t length = withRowNumber ? Length : Fields;
    for (int32_t at = 0; at < length; at += KeyWordBytes) {
      uint64_t x, y;
      std::memcpy(&x, a + at, KeyWordBytes);
      std::memcpy(&y, b + at, KeyWordBytes);
      if (x != y) return x < y ? -1 : 1;
    }
    return 0;
  }

private:
  std::vector<TKeyPiece> pieces;
};

// Keys ordered with their records' indexes beside them: a compact key is
// a few words, and the partition walks them in place instead of reaching
// each through its index (a cache miss most times in an answer of many
// megabytes). Each entry is the key's words, then the index.
class TKeyEntries {
public:
  using TPivot = const uint64_t*;
  TKeyEntries(size_t count, int32_t keyBytes)
      : words(size_t(keyBytes / KeyWordBytes)), stride(words + 1), entries(count * stride), pivot(words) {}
  uint64_t* Key(size_t i) { return entries.data() + i * stride; }
  uint32_t Index(size_t i) const { return uint32_t(entries[i * stride + words]); }
  void SetIndex(size_t i, uint32_t index) { entries[i * stride + words] = index; }
  // A copy, used only until the partition it is taken for ends.
  const uint64_t* Pivot(int32_t i) {
    std::copy_n(Key(size_t(i)), words, pivot.begin());
    return pivot.data();
  }
  int Compare(int32_t i, const uint64_t* other) const {
    const uint64_t* k = entries.data() + size_t(i) * stride;
    for (size_t w = 0; w < words; ++w)
      if (k[w] != other[w]) return k[w] < other[w] ? -1 : 1;
    return 0;
  }
  void Swap(int32_t i, int32_t j) { std::swap_ranges(Key(size_t(i)), Key(size_t(i)) + stride, Key(size_t(j))); }

private:
  size_t words, stride;
  std::vector<uint64_t> entries;
  std::vector<uint64_t> pivot;
};

struct TSortRun {
  int64_t Offset;
  uint32_t Count;
  int64_t Bytes;
};

// A run formed where a fill held its records: records First .. First +
// Order.size() - 1, packed, those in use in key order (Live), then the
// deleted ones; its k-th record is record First + Order[k].
struct THeldRun {
  TSortRun Live;
  int64_t Bytes;
  uint32_t First;
  std::vector<uint32_t> Order;
};

}  // namespace

// The sort a fill announced, and the runs its overflowing held records
// formed, in the order of their records.
class TSortRuns {
public:
  TSortRuns(const TSortKeyField* keys, int keyCount, bool caseInsensitive)
      : Keys(keys, keys + keyCount), CaseInsensitive(caseInsensitive) {}

  bool Sorts(const TSortKeyField* keys, int keyCount, bool caseInsensitive) const {
    if (caseInsensitive != CaseInsensitive || size_t(keyCount) != Keys.size()) return false;
    for (int i = 0; i < keyCount; ++i)
      if (keys[i].Descending != Keys[size_t(i)].Descending ||
          std::memcmp(keys[i].Desc, Keys[size_t(i)].Desc, FieldDescSize) != 0)
        return false;
    return true;
  }

  std::vector<TSortKeyField> Keys;
  bool CaseInsensitive;
  std::unique_ptr<TSortWorkFile> Work;  // made with the first run
  std::vector<THeldRun> Runs;
  // Where the runs' keys differ, for the merge's compact keys.
  std::optional<TKeyDifferences> Differences;
  int64_t End = 0;       // of the work file's runs
  uint32_t Records = 0;  // in the runs, deleted ones too
};

void TSortRunsDeleter::operator()(TSortRuns* runs) const { delete runs; }

class TDataSorter {
public:
  TDataSorter(TDataFile& file, const TSortKeyField* keys, int keyCount, bool caseInsensitive,
              TSortDuplicates duplicates, const TSortGroupCallbacks* callbacks, std::vector<int32_t>* rowNumbers)
      : file(file),
        keyFields(keys),
        keyCount(keyCount),
        caseInsensitive(caseInsensitive),
        key(keys, keyCount, caseInsensitive, file.LanguageId(), file.SortId()),
        duplicates(duplicates),
        callbacks(callbacks ? *callbacks : TSortGroupCallbacks()),
        recordSize(file.RecordSize()),
        rowNumbers(rowNumbers) {
    CheckKeys(keys, keyCount);
    if (rowNumbers) rowNumbers->clear();
  }

  void Run() {
    if (TakesRuns()) {
      SortFromRuns();
    } else {
      file.SpillRuns();
      SortAsFound();
    }
    Finish();
    // The cached records carry their old numbers.
    file.DropCache();
    if (holding) file.HoldInOrder(std::move(images), std::move(order));
  }

  // Sorts the held records into runs of the work file, after those before
  // them, a block's worth each: a block's images are reached in key order
  // within the processor's caches, where a run of all held records paid a
  // cache miss for most records it packed. The images stay as they are.
  void FormRuns(TSortRuns& runs, const TRecordImages& held, uint32_t first) {
    const size_t runsBefore = runs.Runs.size();
    const int64_t endBefore = runs.End;
    // Runs of a failed call hold records that stay held.
    TScopeGuard undo([&] {
      runs.Runs.resize(runsBefore);
      runs.End = endBefore;
    });
    if (!runs.Work) runs.Work = std::make_unique<TSortWorkFile>(file.table->PrivateDirectory(), file.InMemory);
    const bool compacting = key.ComparesAsBytes();
    if (!runs.Differences) runs.Differences.emplace(compacting ? key.Length() : 0);
    const uint32_t blockRecords = uint32_t(std::min(SortBlockBytes / recordSize, MaxSortBlockRecords));
    std::vector<uint8_t> packed(size_t(blockRecords) * size_t(MaxPackedBytes()));
    for (uint32_t start = 0; start < held.Count(); start += blockRecords) {
      const uint32_t count = std::min(blockRecords, held.Count() - start);
      auto imageOf = [&held, start](uint32_t i) { return held.At(start + i); };
      TKeyDifferences differences(compacting ? key.Length() : 0);
      std::vector<uint32_t> live = CollectLive(count, imageOf, first + start, compacting ? &differences : nullptr);
      const TCompactForm form =
          compacting ? TCompactForm(differences, key.Length(), key.FieldsLength()) : TCompactForm();
      THeldRun run{{runs.End, uint32_t(live.size()), 0}, 0, first + start, {}};
      run.Order.reserve(count);
      int32_t bytes = 0;
      auto put = [&](uint32_t i) {
        bytes += Pack(imageOf(i), packed.data() + bytes);
        run.Order.push_back(i);
      };
      SortImages(live, imageOf, form, [&](uint32_t i, const uint8_t*) { put(i); });
      run.Live.Bytes = bytes;
      // Kept for their places only, should the records go to the file.
      for (uint32_t i = 0; i < count; ++i)
        if (imageOf(i)[RecordDeletedOffset] != 0) put(i);
      WriteFileAt(runs.Work->handler, TableName(), runs.End, packed.data(), bytes);
      run.Bytes = bytes;
      runs.Differences->Join(differences);
      runs.End += bytes;
      runs.Runs.push_back(std::move(run));
    }
    undo.Dismiss();
    runs.Records += held.Count();
  }

  // Writes each run's records to their places in the file.
  void Spill(const TSortRuns& runs) {
    TRunReader reader;
    reader.Chunk.resize(size_t(std::max(SortBlockBytes, 2 * MaxPackedBytes())));
    for (const THeldRun& run : runs.Runs) {
      const uint32_t count = uint32_t(run.Order.size());
      TRecordImages placed{uint16_t(recordSize), int32_t(PooledBlockBytes)};
      for (uint32_t i = 0; i < count; ++i) placed.Add();
      reader.Offset = run.Live.Offset;
      reader.Bytes = run.Bytes;
      reader.At = reader.End = 0;
      for (const uint32_t place : run.Order) UnpackNext(runs.Work->handler, reader, placed.At(place));
      for (uint32_t i = 0; i < count; i += placed.PerBlock()) {
        const uint32_t n = std::min(placed.PerBlock(), count - i);
        file.WriteAt(file.RecordOffset(run.First + i), placed.At(i), int32_t(n) * recordSize);
        ++file.physicalWrites;
      }
    }
  }

private:
  // The records found in the file, in the cache or held.
  void SortAsFound() {
    if (AllCached())
      SortCached();
    else if (FitsInMemory())
      SortInMemory();
    else
      SortThroughWorkFile();
  }

  // A run of the work file being merged.
  struct TRunReader {
    int64_t Offset = 0;      // of the run's bytes not yet read
    int64_t Bytes = 0;       // those bytes
    uint32_t Remaining = 0;  // records not yet taken
    std::vector<uint8_t> Chunk;
    size_t At = 0, End = 0;  // the chunk's bytes not yet taken
    std::vector<uint8_t> Record;  // the current one
    std::vector<uint64_t> Key;    // its key, whole words
  };

  TDataFile& file;
  const TSortKeyField* keyFields;
  int keyCount;
  bool caseInsensitive;
  TSortKey key;
  TSortDuplicates duplicates;
  TSortGroupCallbacks callbacks;
  int32_t recordSize;
  std::vector<int32_t>* rowNumbers;
  int32_t bufferRecords = 0;
  int32_t buffered = 0;
  uint32_t written = 0;
  std::vector<uint8_t> group;
  std::vector<uint8_t> groupKey;
  std::vector<uint8_t> lastKey;
  bool hasGroup = false;
  bool hasLast = false;
  // The form of the keys Add is given: compact where compact.Length > 0.
  TCompactForm compact;
  std::vector<uint64_t> wholeKey;  // a scratch key for making compact ones
  // The records were all held and stay so: images in their old order, and
  // the order they go out in.
  bool holding = false;
  TRecordImages images;
  std::vector<uint32_t> order;

  std::string TableName() const { return file.table->TableName(); }

  void CheckKeys(const TSortKeyField* keys, int keyCount) const {
    if (keyCount < 0 || keyCount > file.FieldCount())
      RaiseEngineError(EngErrFieldNumber, TableName(), std::to_string(keyCount));
    for (int i = 0; i < keyCount; ++i) {
      const uint8_t* desc = keys[i].Desc;
      if (!IsAutoIncField(desc) && (!HasRecordBytes(desc) || !FieldBytesFit(desc, recordSize)))
        RaiseEngineError(EngErrFieldNumber, TableName(), std::to_string(FieldDescNumber(desc)));
    }
  }

  bool AllCached() const {
    const uint32_t count = file.PhysicalRecordCount();
    const int32_t cached = file.cache.Count();
    return int64_t(cached) == count && (count == 0 || file.cache.HighestKey() == count);
  }

  bool FitsInMemory() const {
    return int64_t(file.PhysicalRecordCount()) * (recordSize + key.Length() + int64_t(sizeof(uint32_t))) <=
           file.SortMemoryBytes;
  }

  int32_t KeyLength() const { return compact.Length > 0 ? compact.Length : key.Length(); }
  int CompareKeys(const uint8_t* a, const uint8_t* b, bool withRowNumber) const {
    return compact.Length > 0 ? compact.Compare(a, b, withRowNumber) : key.Compare(a, b, withRowNumber);
  }

  void SortByKey(std::vector<TRecord*>& records) const {
    auto keyOf = [](TRecord* record) { return record->Key(); };
    TKeyedItems<TRecord*, decltype(keyOf)> items{*this, records, keyOf};
    SortItems(items, int32_t(records.size()));
  }

  // Items ordered by keys that stay where they are built.
  template <typename TItem, typename TKeyOf>
  struct TKeyedItems {
    using TPivot = TItem;
    const TDataSorter& sorter;
    std::vector<TItem>& items;
    const TKeyOf& keyOf;
    TItem Pivot(int32_t i) const { return items[size_t(i)]; }
    int Compare(int32_t i, TItem pivot) const { return sorter.key.Compare(keyOf(items[size_t(i)]), keyOf(pivot), true); }
    void Swap(int32_t i, int32_t j) { std::swap(items[size_t(i)], items[size_t(j)]); }
  };

  // The count items in key order. Items that come in strictly ascending
  // keys (an answer filled in its order's order: a table appended by date,
  // sorted by date) are left as they are, which is what the partition
  // would leave after swapping each pivot with itself; equal keys take the
  // partition.
  template <typename TItems>
  void SortItems(TItems& items, int32_t count) const {
    int32_t i = 1;
    while (i < count && items.Compare(i, items.Pivot(i - 1)) > 0) ++i;
    if (i < count) QuickSort(items, 0, count - 1);
  }

  // Keys end with the row number, but row numbers a writer gave may repeat;
  // records of equal key then keep the order this partition has always
  // given them, so a sorted file's bytes do not depend on the library, nor
  // on whether the records were cached, read whole or sorted in runs of a
  // work file (the same partition over the same order of records).
  template <typename TItems>
  void QuickSort(TItems& items, int32_t left, int32_t right) const {
    int32_t i;
    do {
      i = left;
      int32_t j = right;
      const typename TItems::TPivot pivot = items.Pivot((left + right) >> 1);
      do {
        while (items.Compare(i, pivot) < 0) ++i;
        while (items.Compare(j, pivot) > 0) --j;
        if (i <= j) {
          items.Swap(i, j);
          ++i;
          --j;
        }
      } while (i <= j);
      if (left < j) QuickSort(items, left, j);
      left = i;
    } while (i < right);
  }

  void TakeKey(TRecord* record) const {
    record->SetKeySize(key.Length());
    key.Build(record->Buffer(), record->Key());
  }

  void SortCached() {
    // Every record is here as it stands; the held ones are older copies.
    file.DropHeld();
    std::vector<TRecord*> sorted;
    for (TRecord* record : file.cache.InKeyOrder()) {
      if (record->IsDeleted()) continue;
      TakeKey(record);
      sorted.push_back(record);
    }
    SortByKey(sorted);
    for (TRecord* record : sorted) Add(record->Buffer(), record->Key());
  }

  // Decodes the count images imageOf gives, the first numbered first, and
  // returns the indexes of those in use; notes their keys in differences
  // where given (in the same pass, while each image is at hand).
  template <typename TImageOf>
  std::vector<uint32_t> CollectLive(uint32_t count, const TImageOf& imageOf, uint32_t first,
                                    TKeyDifferences* differences) const {
    std::vector<uint32_t> live;
    live.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t* image = imageOf(i);
      DecodeRecordImage(file, image, uint32_t(recordSize), first + i);
      if (image[RecordDeletedOffset] != 0) continue;
      live.push_back(i);
      if (!differences) continue;
      key.Build(image, differences->Scratch());
      differences->NoteScratch();
    }
    return live;
  }

  // Orders live (ascending indexes of the images imageOf gives) by their
  // keys in the form given, and calls visit(index, key) in that order.
  // Compact keys are built through one scratch key, so the whole keys
  // (most of them padding) never take memory at once.
  template <typename TImageOf, typename TVisit>
  void SortImages(std::vector<uint32_t>& live, const TImageOf& imageOf, const TCompactForm& form,
                  const TVisit& visit) const {
    if (live.empty()) return;
    const size_t keyLength = size_t(key.Length());
    if (form.Length > 0) {
      TKeyEntries entries(live.size(), form.Length);
      std::vector<uint64_t> whole(size_t(WholeWords(key.Length()) / KeyWordBytes));
      for (size_t n = 0; n < live.size(); ++n) {
        key.Build(imageOf(live[n]), reinterpret_cast<uint8_t*>(whole.data()));
        form.Build(reinterpret_cast<const uint8_t*>(whole.data()), entries.Key(n));
        entries.SetIndex(n, live[n]);
      }
      SortItems(entries, int32_t(live.size()));
      for (size_t n = 0; n < live.size(); ++n) visit(entries.Index(n), reinterpret_cast<const uint8_t*>(entries.Key(n)));
      return;
    }
    // Not cleared: every byte is built before it is used.
    std::unique_ptr<uint8_t[]> keys(new uint8_t[size_t(live.back() + 1) * keyLength]);
    auto keyOf = [&keys, keyLength](uint32_t i) { return keys.get() + size_t(i) * keyLength; };
    for (const uint32_t i : live) key.Build(imageOf(i), keyOf(i));
    TKeyedItems<uint32_t, decltype(keyOf)> items{*this, live, keyOf};
    SortItems(items, int32_t(live.size()));
    for (const uint32_t i : live) visit(i, keyOf(i));
  }

  // The records are taken as the fill held them, or read in blocks, and
  // their indexes sorted by their keys: no work file written and read
  // back, no merge. Held records whose sort makes no new record stay held,
  // in their new order.
  void SortInMemory() {
    file.FlushRecords();
    images = file.TakeHeld();
    file.DropCache();
    const uint32_t count = file.PhysicalRecordCount();
    holding = images.Count() == count && count > 0 && duplicates != TSortDuplicates::Group;
    if (images.Count() != count) images = ReadImages(count);
    auto imageOf = [this](uint32_t i) { return images.At(i); };
    const bool compacting = key.ComparesAsBytes();
    TKeyDifferences differences(compacting ? key.Length() : 0);
    std::vector<uint32_t> live = CollectLive(count, imageOf, 1, compacting ? &differences : nullptr);
    if (compacting) compact = TCompactForm(differences, key.Length(), key.FieldsLength());
    if (holding) order.reserve(live.size());
    SortImages(live, imageOf, compact, [this](uint32_t i, const uint8_t* recordKey) { Add(images.At(i), recordKey, i); });
    if (holding) NumberHeld();
  }

  // Each held record that went out takes its new number, and the row
  // numbers are told in the new order: in one pass over the images as they
  // lie, not a jump to each in key order (a cache miss most times).
  void NumberHeld() {
    std::vector<uint32_t> place(images.Count(), 0);
    for (size_t n = 0; n < order.size(); ++n) place[order[n]] = uint32_t(n + 1);
    if (rowNumbers) rowNumbers->resize(order.size());
    for (uint32_t i = 0; i < images.Count(); ++i) {
      if (place[i] == 0) continue;
      uint8_t* image = images.At(i);
      PutLE32(image + RecordLinkOffset, place[i]);
      if (rowNumbers) (*rowNumbers)[place[i] - 1] = int32_t(GetLE32(image + RecordAutoIncOffset));
    }
  }

  TRecordImages ReadImages(uint32_t count) {
    TRecordImages images(uint16_t(recordSize), SortBlockBytes);
    for (uint32_t first = 0; first < count; first += images.PerBlock()) {
      const uint32_t n = std::min(images.PerBlock(), count - first);
      uint8_t* block = images.Add();
      for (uint32_t i = 1; i < n; ++i) images.Add();
      file.ReadAt(file.RecordOffset(first + 1), block, int32_t(n) * recordSize, false);
      ++file.physicalReads;
    }
    return images;
  }

  // A record as a run of the work file holds it: a bit for each of its
  // words that is not zero, those words, then its bytes after the last
  // whole word. An answer's record is mostly the padding of its text
  // fields (more than half its words zero), and the work file's pages, new
  // to the system at every sort, were the larger part of a sort's time. An
  // enciphered file's runs hold its images whole, enciphered.
  bool PackRuns() const { return !file.IsEncrypted(); }
  int32_t RecordWords() const { return recordSize / KeyWordBytes; }
  int32_t WordBitsBytes() const { return (RecordWords() + 7) / 8; }
  int32_t MaxPackedBytes() const { return PackRuns() ? WordBitsBytes() + recordSize : recordSize; }

  int32_t Pack(const uint8_t* record, uint8_t* out) const {
    if (!PackRuns()) {
      std::memcpy(out, record, size_t(recordSize));
      file.Encipher(out, uint32_t(recordSize));
      return recordSize;
    }
    uint8_t* bits = out;
    std::memset(bits, 0, size_t(WordBitsBytes()));
    uint8_t* to = out + WordBitsBytes();
    const int32_t words = RecordWords();
    // Without a branch a word: each is written, and kept when not zero
    // (a zero word's room is at most what the record's bytes take).
    for (int32_t w = 0; w < words; ++w) {
      uint64_t word;
      std::memcpy(&word, record + size_t(w) * KeyWordBytes, KeyWordBytes);
      const unsigned kept = word != 0;
      bits[w / 8] = uint8_t(bits[w / 8] | kept << (w % 8));
      std::memcpy(to, &word, KeyWordBytes);
      to += kept * KeyWordBytes;
    }
    const size_t tail = size_t(recordSize - words * KeyWordBytes);
    std::memcpy(to, record + size_t(words) * KeyWordBytes, tail);
    return int32_t(to + tail - out);
  }

  // The bytes the packed record at in took.
  int32_t Unpack(const uint8_t* in, uint8_t* record) const {
    if (!PackRuns()) {
      std::memcpy(record, in, size_t(recordSize));
      file.Decipher(record, uint32_t(recordSize));
      return recordSize;
    }
    const uint8_t* bits = in;
    const uint8_t* from = in + WordBitsBytes();
    const int32_t words = RecordWords();
    for (int32_t w = 0; w < words; ++w) {
      uint8_t* to = record + size_t(w) * KeyWordBytes;
      if (bits[w / 8] & 1u << (w % 8)) {
        std::memcpy(to, from, KeyWordBytes);
        from += KeyWordBytes;
      } else {
        std::memset(to, 0, KeyWordBytes);
      }
    }
    const size_t tail = size_t(recordSize - words * KeyWordBytes);
    std::memcpy(record + size_t(words) * KeyWordBytes, from, tail);
    return int32_t(from + tail - in);
  }

  // Each block sorted by compact keys of its own, the merge by compact keys
  // of all the blocks' differences.
  void SortThroughWorkFile() {
    file.FlushRecords();
    file.WriteHeld();
    file.DropCache();
    TSortWorkFile work(file.table->PrivateDirectory(), file.InMemory);
    std::vector<TSortRun> runs;
    const uint32_t count = file.PhysicalRecordCount();
    const int32_t blockRecords = std::min(SortBlockBytes / recordSize, MaxSortBlockRecords);
    std::vector<uint8_t> block(size_t(blockRecords) * recordSize), sorted(size_t(blockRecords) * MaxPackedBytes());
    const bool compacting = key.ComparesAsBytes();
    TKeyDifferences differences(compacting ? key.Length() : 0);
    int64_t workEnd = 0;
    for (uint32_t first = 1; first <= count; first += uint32_t(blockRecords)) {
      const int32_t n = int32_t(std::min<uint32_t>(uint32_t(blockRecords), count - first + 1));
      int32_t bytes = 0;
      const int32_t live =
          SortBlock(first, n, block.data(), sorted.data(), bytes, compacting ? &differences : nullptr);
      if (live == 0) continue;
      WriteFileAt(work.handler, TableName(), workEnd, sorted.data(), bytes);
      runs.push_back({workEnd, uint32_t(live), bytes});
      workEnd += bytes;
    }
    if (compacting) compact = TCompactForm(differences, key.Length(), key.FieldsLength());
    std::vector<TRunReader> readers;
    for (const TSortRun& run : runs) readers.push_back(FileReader(run, ChunkBytes(runs.size())));
    Merge(work.handler, readers);
  }

  // Reads n records from first on and packs the ones in use into sorted in
  // key order (bytes of it); their number. Their keys' differences join
  // all where given.
  int32_t SortBlock(uint32_t first, int32_t n, uint8_t* block, uint8_t* sorted, int32_t& bytes,
                    TKeyDifferences* all) {
    file.ReadAt(file.RecordOffset(first), block, n * recordSize, false);
    ++file.physicalReads;
    auto imageOf = [this, block](uint32_t i) { return block + size_t(i) * size_t(recordSize); };
    TKeyDifferences differences(all ? key.Length() : 0);
    std::vector<uint32_t> live = CollectLive(uint32_t(n), imageOf, first, all ? &differences : nullptr);
    const TCompactForm form = all ? TCompactForm(differences, key.Length(), key.FieldsLength()) : TCompactForm();
    if (all) all->Join(differences);
    bytes = 0;
    SortImages(live, imageOf, form, [&](uint32_t i, const uint8_t*) { bytes += Pack(imageOf(i), sorted + bytes); });
    return int32_t(live.size());
  }

  // The key Add is given for the record, in the keys' form.
  void BuildKey(const uint8_t* record, std::vector<uint64_t>& out) {
    if (compact.Length == 0) {
      key.Build(record, reinterpret_cast<uint8_t*>(out.data()));
      return;
    }
    key.Build(record, reinterpret_cast<uint8_t*>(wholeKey.data()));
    compact.Build(reinterpret_cast<const uint8_t*>(wholeKey.data()), out.data());
  }

  // Unpacks the run's next record into record. The chunk is filled again
  // whenever what is left of it might end inside a record.
  void UnpackNext(TFileHandler& work, TRunReader& run, uint8_t* record) {
    if (run.End - run.At < size_t(MaxPackedBytes()) && run.Bytes > 0) {
      std::memmove(run.Chunk.data(), run.Chunk.data() + run.At, run.End - run.At);
      run.End -= run.At;
      run.At = 0;
      const int32_t bytes = int32_t(std::min<int64_t>(run.Bytes, int64_t(run.Chunk.size() - run.End)));
      ReadFileAt(work, TableName(), run.Offset, run.Chunk.data() + run.End, bytes, false);
      run.Offset += bytes;
      run.Bytes -= bytes;
      run.End += size_t(bytes);
    }
    run.At += size_t(Unpack(run.Chunk.data() + run.At, record));
    ORV_ASSERT(run.At <= run.End);
  }

  // Moves the reader to its next record; false when the run is exhausted.
  bool Advance(TFileHandler& work, TRunReader& run) {
    if (run.Remaining == 0) return false;
    UnpackNext(work, run, run.Record.data());
    --run.Remaining;
    BuildKey(run.Record.data(), run.Key);
    return true;
  }

  // A reader of the work file's run.
  TRunReader FileReader(const TSortRun& run, size_t chunkBytes) const {
    TRunReader reader;
    reader.Offset = run.Offset;
    reader.Bytes = run.Bytes;
    reader.Remaining = run.Count;
    reader.Chunk.resize(std::min(chunkBytes, size_t(run.Bytes)));
    reader.Record.resize(size_t(recordSize));
    return reader;
  }

  // What the merge reads of each of runs at a time.
  size_t ChunkBytes(size_t runs) const {
    const int64_t share = SortBlockBytes / int64_t(std::max<size_t>(runs, 1));
    return size_t(std::max<int64_t>(2 * int64_t(MaxPackedBytes()), share));
  }

  // Equal keys go out in the readers' order.
  void Merge(TFileHandler& work, std::vector<TRunReader>& readers) {
    auto keyOf = [&](size_t i) { return reinterpret_cast<const uint8_t*>(readers[i].Key.data()); };
    auto later = [&](size_t a, size_t b) {
      const int c = CompareKeys(keyOf(a), keyOf(b), true);
      return c != 0 ? c > 0 : a > b;
    };
    std::priority_queue<size_t, std::vector<size_t>, decltype(later)> lowest(later);
    wholeKey.resize(size_t(WholeWords(key.Length()) / KeyWordBytes));
    for (size_t i = 0; i < readers.size(); ++i) {
      readers[i].Key.resize(size_t(WholeWords(KeyLength()) / KeyWordBytes));
      if (Advance(work, readers[i])) lowest.push(i);
    }
    while (!lowest.empty()) {
      const size_t i = lowest.top();
      lowest.pop();
      Add(readers[i].Record.data(), keyOf(i));
      if (Advance(work, readers[i])) lowest.push(i);
    }
  }

  // The file's records are the runs' and the held ones after them, with
  // no change the cache holds, and the runs are this sort's.
  bool TakesRuns() {
    if (!file.HasSortRuns()) return false;
    // A cached change goes into its held image; one to a record of a run
    // sends the runs to the file.
    file.FlushRecords();
    return file.HasSortRuns() && file.sortRuns->Sorts(keyFields, keyCount, caseInsensitive) &&
           !file.heldOrdered && !file.heldAppend &&
           file.PhysicalRecordCount() == file.diskRecords + file.held.Count();
  }

  // The runs the fill formed merged with those of its last held records:
  // the records go to the file once.
  void SortFromRuns() {
    // No work file is left, however the merge ends.
    TScopeGuard dropRuns([this] { file.sortRuns.reset(); });
    TSortRuns& runs = *file.sortRuns;
    FormRuns(runs, file.held, file.diskRecords + 1);
    file.ForgetHeld();
    file.DropCache();
    if (key.ComparesAsBytes()) compact = TCompactForm(*runs.Differences, key.Length(), key.FieldsLength());
    std::vector<TRunReader> readers;
    for (const THeldRun& run : runs.Runs) readers.push_back(FileReader(run.Live, ChunkBytes(runs.Runs.size())));
    Merge(runs.Work->handler, readers);
  }

  // index: the record's image, when the records stay held.
  void Add(const uint8_t* record, const uint8_t* recordKey, uint32_t index = 0) {
    switch (duplicates) {
      case TSortDuplicates::None:
        Emit(record, index);
        return;
      case TSortDuplicates::Distinct:
        if (hasLast && CompareKeys(recordKey, lastKey.data(), false) == 0) return;
        lastKey.assign(recordKey, recordKey + KeyLength());
        hasLast = true;
        Emit(record, index);
        return;
      case TSortDuplicates::Group:
        if (hasGroup && CompareKeys(recordKey, groupKey.data(), false) == 0) {
          if (callbacks.Accumulate) callbacks.Accumulate(group.data(), record);
          return;
        }
        CloseGroup();
        group.assign(record, record + recordSize);
        groupKey.assign(recordKey, recordKey + KeyLength());
        hasGroup = true;
        if (callbacks.Accumulate) callbacks.Accumulate(group.data(), group.data());
        return;
    }
  }

  void CloseGroup() {
    if (!hasGroup) return;
    hasGroup = false;
    if (callbacks.Finish) callbacks.Finish(group.data());
    if (!callbacks.Keep || callbacks.Keep(group.data())) Emit(group.data());
  }

  // The record goes to the output renumbered to its new place.
  void Emit(const uint8_t* record, uint32_t index = 0) {
    if (holding) {
      // Numbered once all have gone out (NumberHeld).
      ++written;
      order.push_back(index);
      return;
    }
    if (bufferRecords == 0) ReserveWriteBuffer();
    uint8_t* slot = file.writeBuffer.Get() + size_t(buffered) * recordSize;
    std::memcpy(slot, record, size_t(recordSize));
    PutLE32(slot + RecordLinkOffset, ++written);
    if (rowNumbers) rowNumbers->push_back(int32_t(GetLE32(slot + RecordAutoIncOffset)));
    if (file.IsEncrypted()) file.Encipher(slot, uint32_t(recordSize));
    if (++buffered == bufferRecords) WriteBuffered();
  }

  // Reserved by the first record that goes out to the file: a sort whose
  // records stay held, and the check of a fill's announced keys, write none
  // (64 KB cleared for a dozen held rows).
  void ReserveWriteBuffer() {
    GrowFileBuffer(file.writeBuffer, TDataFile::BufferReserve, TDataFile::BufferReserve);
    GrowFileBuffer(file.writeBuffer, recordSize, recordSize);
    bufferRecords = int32_t(file.writeBuffer.Size()) / recordSize;
  }

  void WriteBuffered() {
    if (buffered == 0) return;
    file.WriteAt(file.RecordOffset(written - uint32_t(buffered) + 1), file.writeBuffer.Get(), buffered * recordSize);
    ++file.physicalWrites;
    buffered = 0;
  }

  void Finish() {
    CloseGroup();
    WriteBuffered();
    // Folded duplicates and left-out deleted records shorten the file.
    // Held records leave nothing on disk to cut.
    if (duplicates != TSortDuplicates::None || written != file.PhysicalRecordCount()) {
      if (!holding) file.CutAt(file.RecordOffset(written + 1));
      file.header.Put32(DatHdrNextRecord, written + 1);
      file.header.Put32(DatHdrFirstFree, 0);
      file.SetHeaderModified();
      file.table->SetIndexRecordCount(written);
    }
    if (file.diskRecords != TDataFile::UnknownDiskRecords) file.diskRecords = holding ? 0 : written;
    file.table->SetDataChanged();
  }
};

void TDataFile::SortRecords(const TSortKeyField* keys, int keyCount, bool caseInsensitive,
                            TSortDuplicates duplicates, const TSortGroupCallbacks* callbacks,
                            std::vector<int32_t>* rowNumbers) {
  TDataSorter sorter(*this, keys, keyCount, caseInsensitive, duplicates, callbacks, rowNumbers);
  sorter.Run();
}

bool TDataFile::HasSortRuns() const { return sortRuns && !sortRuns->Runs.empty(); }

void TDataFile::SortOnOverflow(const TSortKeyField* keys, int keyCount, bool caseInsensitive) {
  SpillRuns();
  if (keyCount == 0) return;
  // Keys a sort would refuse are refused now.
  TDataSorter check(*this, keys, keyCount, caseInsensitive, TSortDuplicates::None, nullptr, nullptr);
  sortRuns.reset(new TSortRuns(keys, keyCount, caseInsensitive));
}

bool TDataFile::RunsTakeOverflow(uint32_t number) const {
  if (!sortRuns || !Temporary || IsEncrypted() || heldOrdered || held.Count() == 0) return false;
  if (diskRecords != sortRuns->Records || number != diskRecords + held.Count() + 1) return false;
  return (int64_t(held.Count()) + 1) * RecordSize() > SortMemoryBytes;
}

void TDataFile::RunHeld() {
  // Changes the cache holds go into their images first (one to a record
  // of a run sends the runs to the file: then the held ones follow them).
  FlushRecords();
  if (!sortRuns || diskRecords != sortRuns->Records || heldOrdered || held.Count() == 0) return;
  TSortRuns& runs = *sortRuns;
  TDataSorter sorter(*this, runs.Keys.data(), int(runs.Keys.size()), runs.CaseInsensitive, TSortDuplicates::None,
                     nullptr, nullptr);
  sorter.FormRuns(runs, held, diskRecords + 1);
  diskRecords += held.Count();
  // Their memory takes the next appends, as a part written does.
  held.Restart(SIZE_MAX);
}

void TDataFile::SpillRuns() {
  if (!sortRuns) return;
  if (!sortRuns->Runs.empty()) {
    const TSortRuns& runs = *sortRuns;
    TDataSorter sorter(*this, runs.Keys.data(), int(runs.Keys.size()), runs.CaseInsensitive, TSortDuplicates::None,
                       nullptr, nullptr);
    sorter.Spill(runs);
    table->SetDataChanged();
  }
  sortRuns.reset();
}
