#include "rtlResources.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "rtlConsts.h"
#include "rtlExceptions.h"
#include "rtlStrUtils.h"

namespace {

constexpr const char* SCantWriteResourceStream = "Can't write to a read-only resource stream";

struct TResourceRegistry {
  std::mutex lock;
  std::map<std::string, TResourceData> resources;  // by "TYPE/NAME" in upper case
  std::map<int, std::string> strings;
};

// Built on first use, so that registrars in any unit may run first.
TResourceRegistry& Registry() {
  static TResourceRegistry registry;
  return registry;
}

std::string ResourceKey(std::string_view type, std::string_view name) {
  return UpperCase(type) + '/' + UpperCase(name);
}

}  // namespace

void RegisterResource(std::string_view type, std::string_view name, const void* data, size_t size) {
  TResourceRegistry& registry = Registry();
  std::lock_guard guard(registry.lock);
  TResourceData entry{static_cast<const uint8_t*>(data), size};
  if (!registry.resources.emplace(ResourceKey(type, name), entry).second)
    throw Exception("Resource %s of type %s is registered twice", {name, type});
}

void RegisterStringResource(int id, std::string_view text) {
  TResourceRegistry& registry = Registry();
  std::lock_guard guard(registry.lock);
  if (!registry.strings.emplace(id, std::string(text)).second)
    throw Exception("String resource %d is registered twice", {id});
}

const TResourceData* FindResource(std::string_view type, std::string_view name) {
  TResourceRegistry& registry = Registry();
  std::lock_guard guard(registry.lock);
  auto found = registry.resources.find(ResourceKey(type, name));
  return found == registry.resources.end() ? nullptr : &found->second;
}

std::string LoadStr(int id) {
  TResourceRegistry& registry = Registry();
  std::lock_guard guard(registry.lock);
  auto found = registry.strings.find(id);
  return found == registry.strings.end() ? std::string() : found->second;
}

TResourceStream::TResourceStream(std::string_view type, std::string_view name) : resource(FindResource(type, name)) {
  if (!resource) throw EResNotFound(SResNotFound, {name});
}

int64_t TResourceStream::Read(void* buffer, int64_t count) {
  if (position < 0 || count <= 0 || position >= Size()) return 0;
  int64_t n = std::min(count, Size() - position);
  std::memcpy(buffer, resource->Data + position, static_cast<size_t>(n));
  position += n;
  return n;
}

int64_t TResourceStream::Write(const void* buffer, int64_t count) { throw EStreamError(SCantWriteResourceStream); }

void TResourceStream::SetSize(int64_t newSize) { throw EStreamError(SCantWriteResourceStream); }

int64_t TResourceStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case soFromBeginning: position = offset; break;
    case soFromCurrent: position += offset; break;
    case soFromEnd: position = Size() + offset; break;
  }
  return position;
}
