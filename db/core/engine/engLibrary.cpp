#include "engLibrary.h"

#include "engCharMaps.h"
#include "engExpToken.h"
#include "engFileList.h"
#include "engHeap.h"
#include "engRecordsBitmap.h"
#include "engScopeGuard.h"

namespace {

bool started = false;

// In the reverse order of their making; those not made are nil.
void FreeLibraryObjects() {
  delete LanguageCharMapsList;
  LanguageCharMapsList = nullptr;
  delete FileList;
  FileList = nullptr;
  delete RecordsBitmapStack;
  RecordsBitmapStack = nullptr;
  delete ExpTokenStack;
  ExpTokenStack = nullptr;
}

}  // namespace

void StartEngineLibrary() {
  if (started) return;
  ResetEngineHeapCounters();
  // A start that fails half way gives back what it made.
  TScopeGuard undo([] { FreeLibraryObjects(); });
  ExpTokenStack = new TExpTokenStack;
  RecordsBitmapStack = new TRecordsBitmapStack;
  FileList = new TFileList;
  LanguageCharMapsList = new TLanguageCharMapsList;
  undo.Dismiss();
  started = true;
}

void StopEngineLibrary() {
  if (!started) return;
  FreeLibraryObjects();
  started = false;
}
