#pragma once
// The class library's streams: a position over bytes, with reads and writes
// that may fall short (Read, Write) or must not (ReadBuffer, WriteBuffer).

#include <cstdint>
#include <string>
#include <vector>

enum TSeekOrigin { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

class TStream {
public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  // Bytes actually moved.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // The new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();
  virtual void SetSize(int64_t newSize) = 0;

  int64_t Position() { return Seek(0, soFromCurrent); }
  void SetPosition(int64_t position) { Seek(position, soFromBeginning); }

  // EReadError "Stream read error" / EWriteError "Stream write error" when
  // fewer bytes move than asked.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies count bytes from the source's position; count 0 copies the
  // whole source from its start. Returns the bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

// Bytes in memory; Memory() stays valid until the size changes.
class TMemoryStream : public TStream {
public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data.size()); }
  void SetSize(int64_t newSize) override;

  uint8_t* Memory() { return data.data(); }
  const uint8_t* Memory() const { return data.data(); }
  void Clear();
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& fileName);

protected:
  std::vector<uint8_t> data;

private:
  int64_t position = 0;
};

// A memory stream over a string's bytes.
class TStringStream : public TMemoryStream {
public:
  explicit TStringStream(const std::string& text = {});
  std::string DataString() const;
};

// Open modes; fmCreate creates or empties the file and opens it for
// reading and writing.
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmCreate = 0xFF00;

class TFileStream : public TStream {
public:
  // EFCreateError or EFOpenError with the system's reason on failure.
  TFileStream(const std::string& fileName, uint16_t mode);
  ~TFileStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;

  const std::string& FileName() const { return fileName; }
  int Handle() const { return handle; }

private:
  std::string fileName;
  int handle = -1;
};
