#include "sqlErrors.h"

#include "engErrorCodes.h"
#include "engErrors.h"

void RaiseSqlError(const std::string& message) { RaiseEngineError(EngErrSql, {}, {}, {}, message); }

void RaiseInvalidColumn(const std::string& name, const std::string& qualifier, const std::string& where) {
  RaiseSqlError("Invalid column name '" + name + "'" + " or table correlation name " + "'" + qualifier + "'" +
                " specified in " + where);
}
