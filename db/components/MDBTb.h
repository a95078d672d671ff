#pragma once
// How engine failures reach programs: one exception class carrying the
// engine's code and text, and the routines that raise it.

#include <cstdint>
#include <string>
#include <vector>

#include "rtlExceptions.h"

// One engine error of an EMDBEngineError.
class TMDBError {
public:
  TMDBError(std::string message, uint16_t errorCode) : message(std::move(message)), errorCode(errorCode) {}

  uint16_t ErrorCode() const { return errorCode; }
  const std::string& Message() const { return message; }

private:
  std::string message;
  uint16_t errorCode;
};

class EMDBEngineError : public EDatabaseError {
public:
  // The message is "MDB Engine Error # <code> <engine text>", the text
  // filled with this thread's error context.
  explicit EMDBEngineError(uint16_t errorCode);
  const char* ClassName() const override { return "EMDBEngineError"; }

  int ErrorCount() const { return static_cast<int>(errors.size()); }
  // 0 <= index < ErrorCount().
  const TMDBError& Errors(int index) const;

private:
  std::vector<TMDBError> errors;
};

[[noreturn]] void EngineError(uint16_t errorCode);
// 0 passes; anything else is raised as the engine error of that code. A
// code that the engine returned rather than raised has no error context of
// its own, so the caller names the table the message speaks of.
void CheckEngineResult(int32_t result, const std::string& tableName = {});
// The engine reports its own failures through EngineError from then on.
void InstallEngineErrorRaiser();
