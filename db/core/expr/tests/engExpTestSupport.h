#pragma once
// Parsing and checking filter texts against a small table of columns, the
// way a cursor's filter will.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engErrorCodes.h"
#include "engErrors.h"
#include "engExpParser.h"
#include "engExpTypeCheck.h"
#include "rtlStrUtils.h"

struct TTestColumn {
  const char* Name;
  uint8_t Type;
  uint8_t SubType;
  int32_t Size;
  uint8_t Scale;
};

// The jobs table's kinds of columns, plus one of every other type.
class TTestColumns : public TExpColumnResolver {
public:
  std::vector<TTestColumn> Columns = {
      {"JobOwner", dtString, stNone, 41, 0},   {"JobDate", dtDate, stNone, 4, 0},
      {"JobTime", dtTime, stNone, 4, 0},       {"Stamp", dtTimeStamp, stNone, 8, 0},
      {"Pages", dtInteger, stNone, 4, 0},      {"Copies", dtSmallInt, stNone, 2, 0},
      {"Flags", dtWord, stNone, 2, 0},         {"Cost", dtFloat, stMoney, 8, 0},
      {"Ratio", dtFloat, stNone, 8, 0},        {"Amount", dtBcd, stNone, 8, 2},
      {"Printed", dtBoolean, stNone, 2, 0},    {"Document", dtBlob, stMemo, 8, 0},
      {"Picture", dtBlob, 23, 8, 0},           {"Raw", dtBytes, stNone, 16, 0},
  };
  int Calls = 0;

  bool ResolveColumn(TExpToken& node) override {
    ++Calls;
    if (!node.CorrelationName.empty() && !SameText(node.CorrelationName, "J")) return false;
    for (size_t i = 0; i < Columns.size(); ++i) {
      const TTestColumn& column = Columns[i];
      if (!SameText(node.Name, column.Name)) continue;
      node.FieldNo = static_cast<uint16_t>(i + 1);
      node.DataType = column.Type;
      node.SubType = column.SubType;
      node.SetDataSize(column.Size);
      node.Scale = column.Scale;
      return true;
    }
    return false;
  }
};

// What a SQL statement does for IN (SELECT ...): parses up to the ")" and
// describes its one result column.
class TFakeQuery : public TExpNestedQuery, public TExpQueryOwner {
public:
  int Columns = 1;
  uint8_t ColumnType = dtInteger;

  int ResultColumnCount() override { return Columns; }
  bool ResolveColumnType(TExpToken& node) override {
    if (ColumnType == dtNone) return false;
    node.DataType = ColumnType;
    node.SetDataSize(4);
    return true;
  }
  bool ApplyResultFilter(TExpToken&) override { return false; }
  TExpNestedQuery* ParseNestedSelect(TExpressionParser& parser) override {
    while (!parser.IsTokenType(')') && !parser.IsTokenType(tkEnd)) parser.NextToken();
    return this;
  }
};

// Runs a parse and its check as a filter does; owns the tree.
class TExpFixture : public ::testing::Test {
protected:
  TTestColumns columns;
  TFakeQuery query;
  TExpressionParser parser{&query};
  TExpCheckContext context;
  TExpTreePtr tree;

  TExpFixture() {
    parser.ErrorCode = EngErrFilter;
    parser.TableName = "JOBS";
    parser.ContextName = "filter expression";
    context.ErrorCode = EngErrFilter;
    context.TableName = "JOBS";
    context.ContextName = "filter expression";
    context.Resolver = &columns;
  }

  void UseLanguage(uint16_t languageId) {
    parser.FormatSettings = &SharedFormatSettingsForLanguage(languageId);
    context.FormatSettings = parser.FormatSettings;
  }

  TExpToken* Parse(const std::string& text, uint8_t flags = FilterParseFlags) {
    parser.SetText(text);
    parser.NextToken();
    tree.reset(parser.ParseOrExpression(flags));
    return tree.get();
  }

  TExpToken* ParseAndCheck(const std::string& text, uint8_t flags = FilterParseFlags) {
    Parse(text, flags);
    TypeCheckExpression(context, true, nullptr, tree.get());
    return tree.get();
  }

  // The message of the filter error that the text raises, or a note that
  // it raised none.
  template <typename Action>
  std::string ErrorOf(Action action) {
    try {
      action();
    } catch (const EEngineError& error) {
      EXPECT_EQ(error.ErrorCode, EngErrFilter);
      const std::string prefix = "Filter error for table 'JOBS' - ";
      if (error.Message.compare(0, prefix.size(), prefix) != 0) return "unexpected text: " + error.Message;
      return error.Message.substr(prefix.size());
    }
    return "no error";
  }

  std::string ParseError(const std::string& text, uint8_t flags = FilterParseFlags) {
    return ErrorOf([&] { Parse(text, flags); });
  }

  std::string CheckError(const std::string& text, uint8_t flags = FilterParseFlags) {
    return ErrorOf([&] { ParseAndCheck(text, flags); });
  }
};

// The tree as text with every operator's operands in parentheses; chains
// (IN values, BETWEEN bounds, further arguments) in braces.
inline std::string Render(const TExpToken* node);

inline std::string RenderChain(const TExpToken* chain) {
  if (!chain->Next) return Render(chain);
  std::string result = "{";
  for (const TExpToken* element = chain; element; element = element->Next)
    result += Render(element) + (element->Next ? "," : "}");
  return result;
}

inline std::string Render(const TExpToken* node) {
  switch (node->Kind) {
    case nkUnary:
      return "(" + node->Text + " " + Render(node->First) + ")";
    case nkBinary:
    case nkPredicate:
      return "(" + Render(node->First) + " " + node->Text + " " + (node->Second ? RenderChain(node->Second) : "") + ")";
    case nkFunction: {
      std::string result = node->Text + "(";
      bool first = true;
      for (const TExpToken* child : {node->First, node->Second, node->Third}) {
        if (!child) continue;
        result += (first ? "" : ", ") + RenderChain(child);
        first = false;
      }
      return result + ")";
    }
    default:
      return node->Text;
  }
}
