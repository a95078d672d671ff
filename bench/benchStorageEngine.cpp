#include "benchStorageEngine.h"

#include <stdexcept>

const char* OrderName(TJobOrder order) {
  switch (order) {
    case TJobOrder::Natural: return "natural";
    case TJobOrder::Primary: return "primary";
    case TJobOrder::ByDate: return "ByDate";
    case TJobOrder::ByOwner: return "ByOwner";
    case TJobOrder::ByPrinter: return "ByPrinter";
    case TJobOrder::ByComputer: return "ByComputer";
  }
  return "?";
}

std::unique_ptr<TStorageEngine> MakeEngine(const std::string& name, const std::string& folder) {
  if (name == "ours") return MakeOurEngine(folder);
  if (name == "sqlite") return MakeSqliteEngine(folder);
  throw std::invalid_argument("unknown engine '" + name + "'");
}
