#include "MDBTb.h"

#include "MDBConsts.h"
#include "engErrors.h"

EMDBEngineError::EMDBEngineError(uint16_t errorCode) : EDatabaseError(std::string()) {
  const std::string text = EngineErrorMessage(errorCode);
  errors.emplace_back(text, errorCode);
  Message = SMDBEngineErrorPrefix + std::to_string(errorCode) + " " + text;
}

const TMDBError& EMDBEngineError::Errors(int index) const {
  if (index < 0 || index >= ErrorCount()) throw EListError(Format("List index out of bounds (%d)", {index}));
  return errors[static_cast<size_t>(index)];
}

void EngineError(uint16_t errorCode) { throw EMDBEngineError(errorCode); }

void CheckEngineResult(int32_t result, const std::string& tableName) {
  if (result == 0) return;
  // Engine results are 16-bit codes, handed on either sign.
  const auto code = static_cast<uint16_t>(result < 0 ? -result : result);
  SetErrorContext(code, tableName, {}, {}, {});
  EngineError(code);
}

void InstallEngineErrorRaiser() { SetEngineErrorRaiser(&EngineError); }
