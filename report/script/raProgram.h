#pragma once
// A script program: one procedure or function held as source text, compiled
// into statements over its own parameters, constants and variables, and run.
// Compile errors are collected on the program, never raised.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "raStatements.h"
#include "raTokens.h"
#include "rtlStringList.h"

class TraSyntaxError {
public:
  int Code = 0;
  std::string Message;
  std::string TokenText;
  int Line = 0;
  int Column = 0;
};

// Child-type codes by which an owner files its programs.
constexpr int raVariableSectionChild = 17;
constexpr int raConstantSectionChild = 18;

// Published (for the module's program stream): ChildType, ProgramName,
// ProgramType, IsFunctionType, Source (lines), SourceModified, Hidden, Locked.
// How a program returns to uncompiled (TraProgram::Discard).
struct TraDiscarding {
  bool KeepErrors = false;
  bool TellCallers = true;
};

class TraProgram : public TPersistent {
  RTL_DECLARE_CLASS(TraProgram, TPersistent)

  TraProgram();
  TraProgram(const TraProgram&) = delete;
  TraProgram& operator=(const TraProgram&) = delete;
  ~TraProgram() override;

  int ChildType = 0;

  const std::string& ProgramName() const { return programName; }
  void SetProgramName(const std::string& name) { programName = name; }
  TraTokenType ProgramType() const { return programType; }
  void SetProgramType(TraTokenType type) { programType = type; }
  // True after a successful compilation of a function.
  bool IsFunctionType() const { return isFunctionType; }

  // Lines broken by CR LF; any line break is read.
  std::string Source() const;
  void SetSource(const std::string& text);
  // The lines themselves; a change made through them is a source change.
  TStrings* SourceLines() const { return lines.get(); }
  void SetSourceLines(TStrings* value);
  bool SourceModified = false;
  bool Hidden = false;
  bool Locked = false;

  // The heading, an empty body and for a function "Result := ".
  void SetDefaultSource();
  // The first source line.
  std::string GetText() const;
  // The source without its first line.
  std::string SourceWithoutHeading() const;
  // Line indexes (from 0) of the body between the first "begin" and the
  // last "end"; 0 and -1 for an empty source.
  int BodyFirstLine();
  int BodyLastLine();
  void ReplaceBody(const std::string& text);

  // True when the program is compiled afterwards. With onlyIfNeeded a
  // compiled program is left alone; with headerOnly compilation stops after
  // the parameter list and the program stays uncompiled.
  bool Compile(bool onlyIfNeeded = false, bool headerOnly = false);
  bool IsCompiled() const { return compiled; }
  bool IsCompiling() const { return compiling; }
  bool IsRunning() const { return running; }

  // Runs the statements; the function's result, or nullptr for a procedure,
  // an uncompiled program or one that is running already. Script errors
  // (EScriptError, conversion errors of the built-in routines) end the run
  // and propagate.
  const TraValue* Execute(const TraRunOptions& options = {});
  // The same within a run that is going on (a call from another program).
  const TraValue* Run(TraRun& run);

  int ParamCount() const { return static_cast<int>(parameters.size()); }
  TraVariableValue& Param(int index) const { return *parameters[index]; }
  TraVariableValue* ResultVariable() const { return result.get(); }
  int ConstantCount() const { return static_cast<int>(constants.size()); }
  TraVariableValue& Constant(int index) const { return *constants[index]; }
  int VariableCount() const { return static_cast<int>(variables.size()); }
  TraVariableValue& Variable(int index) const { return *variables[index]; }
  // A declared constant or variable of this program by name; nullptr if none.
  TraVariableValue* FindDeclared(const std::string& name) const;

  int SyntaxErrorCount() const { return static_cast<int>(errors.size()); }
  const TraSyntaxError& SyntaxError(int index) const { return errors[index]; }
  bool HasErrors() const { return !errors.empty(); }

  // Set by the owner (the report's code module): its global variables and
  // constants, its other programs, and its refusal of a declared name
  // (answering the error code, or -1 to accept it).
  std::function<TraVariableValue*(TraProgram& program, const std::string& name)> OnVariableLookup;
  std::function<TraVariableValue*(TraProgram& program, const std::string& name)> OnConstantLookup;
  std::function<TraProgram*(TraProgram& program, const std::string& name)> OnProgramLookup;
  std::function<int(TraProgram& program, const std::string& name)> OnDeclarationCheck;
  // The object a name stands for (a report's component, its pipeline),
  // asked when the program compiles and again each time the name is used.
  std::function<TObject*(TraProgram& program, const std::string& name)> OnObjectLookup;
  // Before compiling (handled: the owner did it, nothing more happens), after
  // compiling, and when the source changes (notify false keeps the programs
  // that call this one compiled; without the hook they are told).
  std::function<void(TraProgram& program, bool& handled)> OnBeforeCompile;
  std::function<void(TraProgram& program)> OnAfterCompile;
  std::function<void(TraProgram& program, bool& notify)> OnSourceChange;

protected:
  // Declaration sections: a heading and const or var sections, no block.
  bool declarationOnly = false;

private:
  friend class TraCompiler;

  std::string programName;
  TraTokenType programType = ttProcedure;
  bool isFunctionType = false;
  std::unique_ptr<TStringList> lines;
  bool replacingLines = false;
  bool compiled = false, compiling = false, running = false;
  int bodyFirst = 0, bodyLast = -1;
  bool bodyKnown = false;

  std::vector<std::unique_ptr<TraVariableValue>> parameters, constants, variables;
  std::unique_ptr<TraVariableValue> result;
  TraStatementList statements;
  std::vector<TraSyntaxError> errors;
  // Programs this one calls, and those that call it: a change of a called
  // program's source or its destruction returns its callers to uncompiled.
  std::vector<TraProgram*> calledPrograms, callers;

  // Returns the program to uncompiled; its callers too unless told not to.
  void Discard(TraDiscarding how = {});
  void SourceChanged();
  void ComputeBodyRange();
  void LinkCall(TraProgram& called);
  void UnlinkCalls();
};

// A declaration section of a code module: "procedure <name>;" followed by
// const or var declarations; it has no block and never runs.
class TraDeclarationProgram : public TraProgram {
  RTL_DECLARE_CLASS(TraDeclarationProgram, TraProgram)
  TraDeclarationProgram() { declarationOnly = true; }
};

class TraConstProgram : public TraDeclarationProgram {
  RTL_DECLARE_CLASS(TraConstProgram, TraDeclarationProgram)
  TraConstProgram() { ChildType = raConstantSectionChild; }
  // "procedure <name>;" CR LF "const" CR LF and three blanks.
  void SetDefaultSection();
};

class TraVarProgram : public TraDeclarationProgram {
  RTL_DECLARE_CLASS(TraVarProgram, TraDeclarationProgram)
  TraVarProgram() { ChildType = raVariableSectionChild; }
  void SetDefaultSection();
};
