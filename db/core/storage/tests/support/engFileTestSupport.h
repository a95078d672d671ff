#pragma once
// A started engine library and a scratch folder for the file layer tests.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engErrors.h"
#include "engFileHandler.h"
#include "engFileList.h"
#include "engLibrary.h"
#include "osFile.h"
#include "osSettingsTestFolder.h"

class FileLayerTest : public ::testing::Test {
protected:
  TTestFolder scratch;
  const std::string folder = scratch.Path();

  void SetUp() override { StartEngineLibrary(); }
  void TearDown() override { StopEngineLibrary(); }

  std::unique_ptr<TFileHandler> Handler(const std::string& name, TFileKind kind, bool exclusive = false) {
    auto handler = std::make_unique<TFileHandler>();
    const bool inMemory = kind == TFileKind::Memory;
    handler->FileName = inMemory ? name : folder + "/" + name;
    handler->InMemory = inMemory;
    handler->Exclusive = exclusive;
    return handler;
  }
};

inline std::vector<char> Pattern(int32_t size, int seed) {
  std::vector<char> bytes(size_t(size), 0);
  for (int32_t i = 0; i < size; ++i) bytes[size_t(i)] = char((i * 7 + seed) % 251);
  return bytes;
}

inline std::vector<char> ReadAll(TFileHandler& handler) {
  std::vector<char> bytes(size_t(handler.FileSize()));
  handler.Seek(0, soFromBeginning);
  handler.Read(bytes.data(), int32_t(bytes.size()), false);
  return bytes;
}

// The engine error code a call raises, 0 when it raises none.
template <typename Call>
uint16_t RaisedCode(Call call) {
  try {
    call();
  } catch (const EEngineError& error) {
    return error.ErrorCode;
  }
  return 0;
}

// Makes the next sync of the files named fail with EIO while it lives. The
// disk has taken the data by then, as a failed sync leaves the pages it
// could not write marked clean: a sync asked again would succeed.
class TSyncFaults {
public:
  TSyncFaults() { OsFile::SetSyncFault(&Answer); }
  ~TSyncFaults() {
    OsFile::SetSyncFault(nullptr);
    std::lock_guard lock(Mutex());
    Pending().clear();
  }
  TSyncFaults(const TSyncFaults&) = delete;
  TSyncFaults& operator=(const TSyncFaults&) = delete;

  void FailNextSync(const std::string& path) {
    std::lock_guard lock(Mutex());
    Pending().push_back(path);
  }
  // Every failure asked for has happened.
  bool Spent() const {
    std::lock_guard lock(Mutex());
    return Pending().empty();
  }

private:
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  static std::vector<std::string>& Pending() {
    static std::vector<std::string> paths;
    return paths;
  }
  static OsError Answer(const std::string& path) {
    std::lock_guard lock(Mutex());
    const auto failing = std::find_if(Pending().begin(), Pending().end(), [&](const std::string& target) {
      std::error_code error;
      return std::filesystem::equivalent(path, target, error);
    });
    if (failing == Pending().end()) return ERROR_SUCCESS;
    Pending().erase(failing);
    return OsErrorFromErrno(EIO);
  }
};
