#pragma once
// Resources compiled into the program: named byte blocks by type ("RCDATA",
// "TEXT", ...) and a string table by number. Units register them with
// static registrar objects (cmake/OrvelleResources.cmake generates those
// from files); lookups ignore the case of types and names.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "rtlStreams.h"

struct TResourceData {
  const uint8_t* Data;
  size_t Size;

  std::string_view Text() const { return {reinterpret_cast<const char*>(Data), Size}; }
};

// Registering a type and name twice raises Exception: two units claim it.
void RegisterResource(std::string_view type, std::string_view name, const void* data, size_t size);
void RegisterStringResource(int id, std::string_view text);

// nullptr when there is no such resource.
const TResourceData* FindResource(std::string_view type, std::string_view name);
// Empty when there is no such string.
std::string LoadStr(int id);

class TResourceRegistrar {
public:
  TResourceRegistrar(std::string_view type, std::string_view name, const void* data, size_t size) {
    RegisterResource(type, name, data, size);
  }
};

struct TStringResource {
  int Id;
  const char* Text;
};

class TStringTableRegistrar {
public:
  TStringTableRegistrar(std::initializer_list<TStringResource> strings) {
    for (const TStringResource& s : strings) RegisterStringResource(s.Id, s.Text);
  }
};

// A read-only stream over a resource; EResNotFound "Resource %s not found"
// when there is none.
class TResourceStream : public TStream {
public:
  TResourceStream(std::string_view type, std::string_view name);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(resource->Size); }
  void SetSize(int64_t newSize) override;

  const uint8_t* Memory() const { return resource->Data; }

private:
  const TResourceData* resource;
  int64_t position = 0;
};
