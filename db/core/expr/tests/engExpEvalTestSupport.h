#pragma once
// Evaluating filter texts against one record of the test columns.

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engExpDateTime.h"
#include "engExpEval.h"
#include "engExpTestSupport.h"

// One record: the values by field number; a field never set is NULL.
class TTestRecord : public TExpColumnValues {
public:
  explicit TTestRecord(const TTestColumns& columns) : columns(columns) {}

  void SetText(const std::string& name, const std::string& text) {
    std::vector<uint8_t>& bytes = values[FieldNo(name)];
    bytes.assign(text.begin(), text.end());
    bytes.push_back(0);
  }
  template <typename T>
  void Set(const std::string& name, T value) {
    std::vector<uint8_t>& bytes = values[FieldNo(name)];
    bytes.resize(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
  }
  void SetNull(const std::string& name) { values.erase(FieldNo(name)); }
  int Calls(const std::string& name) const {
    auto found = calls.find(FieldNo(name));
    return found == calls.end() ? 0 : found->second;
  }

  void GetColumnValue(TExpToken& node) override {
    ++calls[node.FieldNo];
    auto found = values.find(node.FieldNo);
    node.IsNull = found == values.end();
    if (node.IsNull) return;
    const std::vector<uint8_t>& bytes = found->second;
    if (static_cast<int32_t>(bytes.size()) > node.DataSize) node.SetDataSize(static_cast<int32_t>(bytes.size()));
    std::memcpy(node.Value, bytes.data(), bytes.size());
  }

private:
  const TTestColumns& columns;
  std::map<uint16_t, std::vector<uint8_t>> values;
  std::map<uint16_t, int> calls;

  uint16_t FieldNo(const std::string& name) const {
    for (size_t i = 0; i < columns.Columns.size(); ++i)
      if (name == columns.Columns[i].Name) return static_cast<uint16_t>(i + 1);
    ADD_FAILURE() << "no column " << name;
    return 0;
  }
};

inline int32_t DayOf(int year, int month, int day) { return DateTimeToDayNumber(EncodeDate(year, month, day)); }

class TExpEvalFixture : public TExpFixture {
protected:
  TTestRecord record{columns};
  TExpEvalContext evalContext;

  TExpEvalFixture() { evalContext.Columns = &record; }

  TExpTreePtr Evaluate(const std::string& text, uint8_t flags = FilterParseFlags) {
    ParseAndCheck(text, flags);
    return TExpTreePtr(EvaluateExpression(evalContext, *tree));
  }
  bool Holds(const std::string& text) {
    TExpTreePtr result = Evaluate(text);
    EXPECT_EQ(result->DataType, dtBoolean) << text;
    EXPECT_FALSE(result->IsNull) << text;
    return result->AsBoolean();
  }
  // The text result, "NULL" for NULL.
  std::string TextOf(const std::string& text) {
    TExpTreePtr result = Evaluate(text);
    return result->IsNull ? "NULL" : result->AsText();
  }
  int32_t IntegerOf(const std::string& text) {
    TExpTreePtr result = Evaluate(text);
    EXPECT_FALSE(result->IsNull) << text;
    return result->AsInteger();
  }
  double FloatOf(const std::string& text) {
    TExpTreePtr result = Evaluate(text);
    EXPECT_FALSE(result->IsNull) << text;
    return result->AsFloat();
  }
  bool IsNullResult(const std::string& text) { return Evaluate(text)->IsNull; }
  // The message of the conversion error the evaluation raises.
  std::string EvaluationError(const std::string& text) {
    try {
      Evaluate(text);
    } catch (const EConvertError& error) {
      return error.Message;
    }
    return "no error";
  }
};
