#include "JobsStore.h"

#include <mutex>

namespace {

std::mutex gWriterMutex;
TJobWriter gWriter;

}  // namespace

void SetJobWriter(TJobWriter Writer) {
  std::lock_guard guard(gWriterMutex);
  gWriter = std::move(Writer);
}

TJobWriter GetJobWriter() {
  std::lock_guard guard(gWriterMutex);
  return gWriter;
}
