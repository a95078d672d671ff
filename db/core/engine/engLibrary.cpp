#include "engLibrary.h"

#include "engCharMaps.h"
#include "engExpToken.h"
#include "engFileList.h"
#include "engHeap.h"
#include "engRecordsBitmap.h"

namespace {

bool started = false;

}  // namespace

void StartEngineLibrary() {
  if (started) return;
  ResetEngineHeapCounters();
  ExpTokenStack = new TExpTokenStack;
  RecordsBitmapStack = new TRecordsBitmapStack;
  FileList = new TFileList;
  LanguageCharMapsList = new TLanguageCharMapsList;
  started = true;
}

void StopEngineLibrary() {
  if (!started) return;
  delete LanguageCharMapsList;
  LanguageCharMapsList = nullptr;
  delete FileList;
  FileList = nullptr;
  delete RecordsBitmapStack;
  RecordsBitmapStack = nullptr;
  delete ExpTokenStack;
  ExpTokenStack = nullptr;
  started = false;
}
