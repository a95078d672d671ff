#pragma once
// What each workload asks of a storage engine, so that the workloads are
// written once and run unchanged over our engine and over SQLite.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "benchStorageData.h"

enum class TJobOrder { Natural, Primary, ByDate, ByOwner, ByPrinter, ByComputer };

inline constexpr TJobOrder IndexOrders[] = {TJobOrder::Primary, TJobOrder::ByDate, TJobOrder::ByOwner,
                                            TJobOrder::ByPrinter, TJobOrder::ByComputer};
const char* OrderName(TJobOrder order);

using TRowVisitor = std::function<void(const TJobRow&)>;

class TStorageEngine {
public:
  virtual ~TStorageEngine() = default;

  // An empty jobs table of that name in the engine's folder.
  virtual void Create(const std::string& table) = 0;
  // Shared: one write at a time, as the program appends. Batch: the table is
  // ours alone (exclusive, or one transaction between Begin and End).
  virtual void Open(const std::string& table, bool batch) = 0;
  virtual void Close() = 0;
  virtual void BeginBatch() = 0;
  virtual void EndBatch() = 0;
  // Before Open: every read is to see what other processes wrote meanwhile.
  virtual void WatchOtherWriters() = 0;
  // Before Open: the next open learns nothing from earlier ones (ours keeps
  // the finding of a first open's index check outside the table).
  virtual void ForgetEarlierOpens() = 0;

  // Appends the row with a new RecRef.
  virtual void Append(const TJobRow& row) = 0;
  // Looks the row up by the whole key of the index; key holds its fields.
  virtual bool Find(TJobOrder index, const TJobRow& key, TJobRow& found) = 0;
  // Every row in that order; withDocument reads the memo too.
  virtual void Scan(TJobOrder order, bool withDocument, const TRowVisitor& visit) = 0;
  // The newest rows by RecRef, newest first.
  virtual void ReadNewest(int count, std::vector<TJobRow>& rows) = 0;

  // Row counts through filters; false when the engine cannot filter yet.
  virtual bool CountDates(int32_t firstDay, int32_t lastDay, int64_t& count) = 0;
  virtual bool CountNotPrinted(int64_t& count) = 0;

  virtual bool ChangeOwner(int32_t recRef, const std::string& owner) = 0;
  // Deletes the row, handing back what it held (memo included).
  virtual bool Delete(int32_t recRef, TJobRow& deleted) = 0;

  // Bytes on disk of the table's files.
  virtual int64_t TableBytes(const std::string& table) = 0;
};

// Each engine keeps its files in folder.
std::unique_ptr<TStorageEngine> MakeOurEngine(const std::string& folder);
std::unique_ptr<TStorageEngine> MakeSqliteEngine(const std::string& folder);
std::unique_ptr<TStorageEngine> MakeEngine(const std::string& name, const std::string& folder);
