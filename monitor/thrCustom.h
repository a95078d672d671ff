#pragma once
// The base of the spooler watch threads: a spooler handle, a model behind a
// lock, a change notification and the wait loop. Subclasses say which
// changes they watch, how they re-read their model and how they apply a
// change.
//
// Stopping is cooperative: the wait ends on the application terminate
// event, on the shared list event, on the subclass's own stop event or on a
// queued WakeApc. A thread that was abandoned (it did not stop in time)
// calls no OnChange any more and reaches only objects it shares ownership
// of or that live as long as the process.

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "BaseThread.h"
#include "PrnNotify.h"
#include "Synchro.h"
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

// A model object placed in the plain block that the model holder keeps.
template <class TModel>
void* NewModelBlock(TModel model) {
  void* block = std::malloc(sizeof(TModel));
  if (!block) throw std::bad_alloc();
  return new (block) TModel(std::move(model));
}

// Ends the life of the object in block (null: nothing); the block itself
// stays the holder's to free.
template <class TModel>
void DestroyModelBlock(void* block) {
  if (block) static_cast<TModel*>(block)->~TModel();
}

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
  void* LockModel();
  virtual void UnlockModel();

  // The thread's node in the windows' tree, deleted at the thread's end.
  TVirtualNode* Node = nullptr;
  std::weak_ptr<TWatchNodeOwner> NodeOwner;
  // The global server list's event, an extra reason to end the wait; it
  // outlives every watch thread.
  TSimpleEvent* ListEvent = nullptr;
  // Called in this thread after the model changed.
  TChangeEvent OnChange;

protected:
  // Releases what the model object holds (the holder frees its block).
  virtual void FreeModel() {}
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
  virtual bool CanContinue();
  virtual void SetWaitHandles();

  void Initialize() override;
  void DoTerminate() override;
  void DoStart() override;
  void DoFinish() override;
  void Execute() override;

  // Replaces the model (a block from NewModelBlock) under the model lock.
  void SetModel(void* model);
  // OnChange, unless the thread was told to end.
  void DoChange();

  ::PrinterHandle PrinterHandle;
  std::unique_ptr<TPrinterChangeNotify> Notify;

private:
  void DeleteNode();

  const std::string name;
  // Kept for the thread's life: it closes its handle even after the program
  // installed another spooler.
  const std::shared_ptr<TSpooler> spooler;
  TGlobalPtrCriticalSection modelHolder{nullptr};
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
