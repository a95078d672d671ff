#pragma once
// The base of the spooler watch threads: a spooler handle, a model behind a
// lock, a change notification and the wait loop. Subclasses say which
// changes they watch, how they re-read their model and how they apply a
// change.
//
// Stopping is cooperative: the wait ends on the application terminate
// event, on the shared list event, on the subclass's own stop event or on a
// queued WakeApc. Queued calls run in that wait alone (the thread's sleeps
// are not alertable): a WakeApc asks the thread to read its model again,
// and the wait it ends is followed by that read, which starts after the
// call was queued. A thread that was abandoned (it did not stop in time)
// calls no OnChange any more and reaches only objects it shares ownership
// of or that live as long as the process.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "BaseThread.h"
#include "PrnNotify.h"
#include "Synchro.h"
#include "rtlAssert.h"
#include "splSpooler.h"

// The tree's node record; the monitoring core only hands it back.
struct TVirtualNode;

// The tree that holds the watch threads' nodes. DeleteNode runs on the main
// thread, after the thread that owned the node has ended. A node may be
// handed back after its parent went, or after the tree dropped it: the
// owner then ignores it.
class TWatchNodeOwner {
public:
  virtual ~TWatchNodeOwner() = default;
  virtual void DeleteNode(TVirtualNode* node) noexcept = 0;
};

// A thread's model: the base lets one holder own every thread's kind.
class TThreadModel {
public:
  virtual ~TThreadModel() = default;
};

template <class TModel>
class TThreadModelOf : public TThreadModel {
public:
  explicit TThreadModelOf(TModel model) : Value(std::move(model)) {}
  TModel Value;
};

class TThreadCustom : public TBaseThread {
public:
  using TChangeEvent = std::function<void(TThreadCustom* sender)>;

  // Made suspended through TBaseThread::Create<T>(true, threadName,
  // printerHandle); the creator sets the fields below and resumes it. The
  // thread closes PrinterHandle at its end.
  TThreadCustom(std::string threadName, ::PrinterHandle printerHandle);

  const std::string& Name() const { return name; }


  // Takes the model lock and returns the model; end with UnlockModel,
  // or hand both to a THeldModel.
  TThreadModel* LockModel();
  virtual void UnlockModel();
  // LockModel for a thread whose model is a TModel; null before the first
  // read.
  template <class TModel>
  TModel* LockModelOf() {
    TThreadModel* held = LockModel();
    if (!held) return nullptr;
    auto* typed = static_cast<TThreadModelOf<TModel>*>(held);
    ORV_ASSERT(dynamic_cast<TThreadModelOf<TModel>*>(held) == typed);
    return &typed->Value;
  }

  // The thread's node in the windows' tree, deleted at the thread's end.
  TVirtualNode* Node = nullptr;
  std::weak_ptr<TWatchNodeOwner> NodeOwner;
  // The global server list's event, an extra reason to end the wait; it
  // outlives every watch thread.
  TSimpleEvent* ListEvent = nullptr;
  // Called in this thread after the model changed.
  TChangeEvent OnChange;

protected:
  // Makes Notify when it is missing.
  virtual void CreateNotify() = 0;
  virtual void RefreshAndNotify();
  // Notify's refresh event: the spooler discarded changes.
  virtual void NotifyRefresh();
  virtual void Refresh() = 0;
  // The read before watching's first wait.
  virtual void FirstRefresh() { Refresh(); }
  // After a change or a wake-up; true when a refresh is due.
  virtual bool HandleChange() = 0;
  // When the thread may not go on (it is told to end, or to pause for the
  // list) and at its end: a change fetched and one signalled and not yet
  // fetched would be freed unapplied, so what must not be lost is kept here.
  virtual void KeepLastChanges() {}
  virtual bool CanContinue();
  virtual void SetWaitHandles();

  void Initialize() override;
  void DoTerminate() override;
  void DoStart() override;
  void DoFinish() override;
  void Execute() override;

  // Replaces the model under the model lock; the one before is destroyed.
  template <class TModel>
  void SetModel(TModel model) {
    ReplaceModel(std::make_unique<TThreadModelOf<TModel>>(std::move(model)));
  }
  // OnChange, unless the thread was told to end.
  void DoChange();

  ::PrinterHandle PrinterHandle;
  std::unique_ptr<TPrinterChangeNotify> Notify;

private:
  void DeleteNode();
  void ReplaceModel(std::unique_ptr<TThreadModel> model);

  const std::string name;
  // Kept for the thread's life: it closes its handle even after the program
  // installed another spooler.
  const std::shared_ptr<TSpooler> spooler;
  TGlobalPtrCriticalSection<TThreadModel> modelHolder;
};

// Holds for a scope the model lock that LockModel or a typed getter
// (GetPrinters, GetQueue) took, so that a reader that throws, a copy
// that runs out of memory, still gives it back: a lock left held would
// stop the watch thread at its next change for good.
template <class TModel>
class THeldModel {
public:
  THeldModel(TThreadCustom& owner, TModel* lockedModel) noexcept : thread(owner), model(lockedModel) {}
  ~THeldModel() { thread.UnlockModel(); }
  THeldModel(const THeldModel&) = delete;
  THeldModel& operator=(const THeldModel&) = delete;

  // Null before the thread's first read.
  TModel* Get() const { return model; }

private:
  TThreadCustom& thread;
  TModel* const model;
};
