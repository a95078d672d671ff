#pragma once
// Small helpers the language's tests share: run a block of statements with
// declared variables, evaluate one expression, compile and list errors.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "raProgram.h"
#include "rtlStrUtils.h"

// "procedure Test; var <declarations> begin <body> end;" compiled; the
// program has errors when it did not compile.
inline std::unique_ptr<TraProgram> raCompileBlock(const std::string& declarations, const std::string& body) {
  auto program = std::make_unique<TraProgram>();
  program->SetSource("procedure Test;\r\n" + (declarations.empty() ? std::string() : "var " + declarations + "\r\n") +
                     "begin\r\n" + body + "\r\nend;");
  program->Compile();
  return program;
}

// The text of a declared variable after running the block.
inline std::string raRunBlock(const std::string& declarations, const std::string& body, const std::string& variable) {
  auto program = raCompileBlock(declarations, body);
  if (program->HasErrors()) return "error " + std::to_string(program->SyntaxError(0).Code) + ": " + program->SyntaxError(0).Message;
  program->Execute();
  TraVariableValue* found = program->FindDeclared(variable);
  return found ? found->Bound().GetText() : "no variable " + variable;
}

// The value of an expression as a variant result: its kind tells an Integer
// (varInteger) from an extended (varDouble).
inline Variant raEvaluate(const std::string& expression, const std::string& declarations = "") {
  TraProgram program;
  program.SetSource("function F: Variant;\r\n" + (declarations.empty() ? std::string() : "var " + declarations + "\r\n") +
                    "begin\r\n  Result := " + expression + ";\r\nend;");
  if (!program.Compile()) {
    ADD_FAILURE() << expression << ": " << program.SyntaxError(0).Message;
    return {};
  }
  const TraValue* result = program.Execute();
  return result ? static_cast<const TraVariantValue*>(result)->Value : Variant();
}

// The code of the first compile error, or "none".
inline std::string raFirstError(const TraProgram& program) {
  return program.HasErrors() ? std::to_string(program.SyntaxError(0).Code) : "none";
}
