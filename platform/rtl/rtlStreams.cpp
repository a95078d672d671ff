#include "rtlStreams.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "rtlConsts.h"
#include "rtlExceptions.h"

int64_t TStream::Size() {
  int64_t position = Position();
  int64_t size = Seek(0, soFromEnd);
  Seek(position, soFromBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError(SReadError);
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError(SWriteError);
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  constexpr int64_t chunkSize = 61440;
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min(count, chunkSize)));
  int64_t copied = 0;
  while (copied < count) {
    int64_t n = std::min(count - copied, chunkSize);
    source.ReadBuffer(chunk.data(), n);
    WriteBuffer(chunk.data(), n);
    copied += n;
  }
  return copied;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  if (position < 0 || count <= 0 || position >= Size()) return 0;
  int64_t n = std::min(count, Size() - position);
  std::memcpy(buffer, data.data() + position, static_cast<size_t>(n));
  position += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (position < 0 || count <= 0) return 0;
  int64_t end = position + count;
  if (end > Size()) SetSize(end);
  std::memcpy(data.data() + position, buffer, static_cast<size_t>(count));
  position = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case soFromBeginning: position = offset; break;
    case soFromCurrent: position += offset; break;
    case soFromEnd: position = Size() + offset; break;
  }
  return position;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw EStreamError("Invalid stream size");
  try {
    data.resize(static_cast<size_t>(newSize));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory");
  } catch (const std::length_error&) {
    throw EOutOfMemory("Out of memory");
  }
  position = std::min(position, newSize);
}

void TMemoryStream::Clear() {
  data.clear();
  data.shrink_to_fit();
  position = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream) {
  stream.SetPosition(0);
  int64_t size = stream.Size();
  SetSize(size);
  if (size != 0) stream.ReadBuffer(data.data(), size);
  position = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead);
  LoadFromStream(file);
}

TStringStream::TStringStream(const std::string& text) {
  WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  SetPosition(0);
}

std::string TStringStream::DataString() const {
  return std::string(reinterpret_cast<const char*>(data.data()), data.size());
}
