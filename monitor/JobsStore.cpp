#include "JobsStore.h"

#include <mutex>

namespace {

std::mutex gWriterMutex;
TJobWriter gWriter;

}  // namespace

void SetJobWriter(TJobWriter writer) {
  std::lock_guard guard(gWriterMutex);
  gWriter = std::move(writer);
}

TJobWriter GetJobWriter() {
  std::lock_guard guard(gWriterMutex);
  return gWriter;
}
