#include "thrCustom.h"

#include <vector>

#include "SynchApp.h"
#include "osDispatcher.h"
#include "osThreadContext.h"
#include "rtlAssert.h"

TThreadCustom::TThreadCustom(std::string threadName, ::PrinterHandle printerHandle)
    : PrinterHandle(printerHandle), name(std::move(threadName)), spooler(CurrentSpooler()) {}

void TThreadCustom::Initialize() {
  FreeOnTerminate = true;
  // A WakeApc asks for a read: run by the start's pause or by a server's
  // wait for its printer threads, it would end that pause and be gone, and
  // the read never made. Left queued, it ends the next watch wait.
  AlertableSleep = false;
}

TThreadModel* TThreadCustom::LockModel() { return modelHolder.Get(); }

void TThreadCustom::UnlockModel() { modelHolder.Release(); }

void TThreadCustom::ReplaceModel(std::unique_ptr<TThreadModel> model) {
  modelHolder.Set(std::move(model));
  modelHolder.Release();
}

void TThreadCustom::DoStart() {
  TBaseThread::DoStart();
  SetRunTime(365);
  Sleep(50, tsSleeping);
}

void TThreadCustom::DoFinish() {
  Notify.reset();
  TBaseThread::DoFinish();
}

void TThreadCustom::DoTerminate() {
  DeleteNode();
  SetModel(nullptr);
  Notify.reset();
  spooler->ClosePrinter(PrinterHandle);
  TBaseThread::DoTerminate();
}

void TThreadCustom::DeleteNode() {
  if (!Node) return;
  // Worker threads never touch the tree; the main thread does it later.
  MainDispatcher().Post([owner = NodeOwner, node = Node] {
    ORV_ASSERT(IsMainThread());
    if (const std::shared_ptr<TWatchNodeOwner> tree = owner.lock()) tree->DeleteNode(node);
  });
  Node = nullptr;
}

void TThreadCustom::DoChange() {
  // The model changed on its own thread, which alone tells of it.
  ORV_ASSERT(OnOwnThread());
  if (OnChange && !Terminated()) OnChange(this);
}

void TThreadCustom::RefreshAndNotify() {
  if (Terminated()) return;
  Refresh();
  DoChange();
}

void TThreadCustom::NotifyRefresh() { RefreshAndNotify(); }

bool TThreadCustom::CanContinue() {
  if (IsAppTerminating()) return false;
  return !(ListEvent && ListEvent->IsSignalled());
}

void TThreadCustom::SetWaitHandles() {
  std::vector<THandleObject*> handles{&AppTerminateEvent()};
  if (ListEvent) handles.push_back(ListEvent);
  Notify->SetWaitHandles(handles);
}

void TThreadCustom::Execute() {
  // Watching begins before the first read, so nothing that changes in
  // between goes unreported.
  CreateNotify();
  FirstRefresh();
  while (!Terminated()) {
    if (ListEvent) ListEvent->ResetEvent();
    CreateNotify();
    SetWaitHandles();
    const bool woken = Notify->WaitForChange() || Notify->WokenByApc();
    const bool canContinue = CanContinue();
    if (!canContinue) KeepLastChanges();
    if (woken && canContinue && HandleChange()) RefreshAndNotify();
  }
  KeepLastChanges();
}
