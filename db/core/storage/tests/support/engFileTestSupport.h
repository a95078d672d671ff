#pragma once
// A started engine library and a scratch folder for the file layer tests.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engErrors.h"
#include "engFileHandler.h"
#include "engLibrary.h"
#include "osSettingsTestFolder.h"

class FileLayerTest : public ::testing::Test {
protected:
  TTestFolder scratch;
  const std::string folder = scratch.Path();

  void SetUp() override { StartEngineLibrary(); }
  void TearDown() override { StopEngineLibrary(); }

  std::unique_ptr<TFileHandler> Handler(const std::string& name, bool inMemory, bool exclusive = false) {
    auto handler = std::make_unique<TFileHandler>();
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
