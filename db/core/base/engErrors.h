#pragma once
// Engine errors: every failure of the engine is a 16-bit code plus the names
// of the table, field and index involved (and for a few codes a free text).
// The names are kept per thread, so that a message is always built from the
// error its own thread raised; the engine's callers need no lock for it.

#include <cstdint>
#include <string>

#include "rtlExceptions.h"

// What the engine raises when no component layer has installed its own
// raiser: the code and the engine's text for it.
class EEngineError : public EDatabaseError {
public:
  uint16_t ErrorCode;

  EEngineError(uint16_t errorCode, std::string message)
      : EDatabaseError(std::move(message)), ErrorCode(errorCode) {}
  const char* ClassName() const override { return "EEngineError"; }
};

// Turns a code into an exception; it must throw. The database components
// install theirs to raise their own exception class; nullptr puts back the
// default, which throws EEngineError with EngineErrorMessage(code).
using TEngineErrorRaiser = void (*)(uint16_t code);
void SetEngineErrorRaiser(TEngineErrorRaiser raiser);

// Records the error context of this thread and raises through the raiser.
[[noreturn]] void RaiseEngineError(uint16_t code, const std::string& tableName = {},
                                   const std::string& fieldName = {},
                                   const std::string& indexName = {},
                                   const std::string& extraText = {});

// Names longer than 255 characters are cut.
void SetErrorContext(uint16_t code, const std::string& tableName, const std::string& fieldName,
                     const std::string& indexName, const std::string& extraText);
void ClearErrorContext();

enum : int { ecFieldName = 0, ecTableName = 1, ecIndexName = 2 };
// The field, table or index name of this thread's context; empty for other kinds.
std::string GetErrorContextName(int kind);
uint16_t GetErrorCode();

// The text for a code filled with this thread's context, at most 254 bytes.
std::string EngineErrorMessage(uint16_t code);

// The process-wide engine lock (recursive).
void LockEngine();
void UnlockEngine();
