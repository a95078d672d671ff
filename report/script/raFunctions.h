#pragma once
// The built-in routines scripts call: a registry by name, each routine
// stating its declaration as source text from which its parameters and
// result are compiled, and the work it does.

#include <string>
#include <vector>

#include "raExpression.h"

enum TraFunctionCategory { fcString, fcConversion, fcFormat, fcDateTime, fcMath, fcUtility };
// The category's name as the code editor lists it.
std::string raCategoryName(TraFunctionCategory category);

// The routine's work: its arguments by position (var parameters may be
// written, value parameters only read) and, for a function, the result
// slot of the declared type.
using TraRoutineWork = void (*)(TraValue* const* parameters, TraValue* result);

struct TraSystemFunction {
  TraFunctionCategory Category = fcUtility;
  std::string Declaration;  // "function Copy(S: String; Index, Count: Integer): String;"
  TraRoutineWork Work = nullptr;
};

// What the compiled declaration says.
struct TraRoutineSignature {
  std::string Name;
  bool IsFunction = false;
  TraDataType ResultType = daUnknown;
  std::vector<TraParameterInfo> Parameters;
  bool HasParameters() const { return !Parameters.empty(); }
};

// Registering a name again replaces the routine.
void raRegisterSystemFunction(const std::string& name, TraSystemFunction function);
void raUnregisterSystemFunction(const std::string& name);
// The names in registration order.
std::vector<std::string> raSystemFunctionNames();

struct TraRoutine {
  const TraSystemFunction* Function = nullptr;
  const TraRoutineSignature* Signature = nullptr;
};
// A registered function (not a procedure), for use in expressions.
bool raFindFunction(const std::string& name, TraRoutine& routine);
// Any registered routine, for call statements.
bool raFindRoutine(const std::string& name, TraRoutine& routine);
