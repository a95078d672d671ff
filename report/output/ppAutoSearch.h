#pragma once
// Auto-search fields: search criteria a user fills in before a report
// generates. Each names a pipeline and one of its fields, an operator and
// the search expression (a comma-separated list for the list and between
// operators); the report's handler of OnGetAutoSearchValues turns them into
// its data's selection.

#include <string>
#include <vector>

#include "ppComm.h"
#include "ppTypes.h"
#include "rtlTypeInfo.h"
#include "rtlVariant.h"

class TppDataPipeline;

enum TppSearchOperatorType : uint8_t {
  soEqual, soNotEqual, soLessThan, soLessThanOrEqualTo, soGreaterThan, soGreaterThanOrEqualTo, soLike, soNotLike,
  soBetween, soNotBetween, soInList, soNotInList, soBlank, soNotBlank
};
RTL_ENUM_TYPE(TppSearchOperatorType, "soEqual", "soNotEqual", "soLessThan", "soLessThanOrEqualTo", "soGreaterThan",
              "soGreaterThanOrEqualTo", "soLike", "soNotLike", "soBetween", "soNotBetween", "soInList",
              "soNotInList", "soBlank", "soNotBlank")

// The auto-search field's creation, sent by the report (parameter: the
// field).
constexpr int ppevAutoSearchFieldCreate = 66;

// The operator's words in the search dialog and descriptions; date and
// time fields read "is before" where others read "is less than".
std::string ppSearchOperatorCaption(TppSearchOperatorType op, TppDataType dataType);

class TppAutoSearchField : public TppCommunicator {
  RTL_DECLARE_CLASS(TppAutoSearchField, TppCommunicator)

  explicit TppAutoSearchField(TComponent* owner);

  const std::string& DataPipelineName() const { return dataPipelineName; }
  void SetDataPipelineName(const std::string& value);
  const std::string& FieldName() const { return fieldName; }
  void SetFieldName(const std::string& value);
  // Follows the field name until set apart from it.
  const std::string& FieldAlias() const { return fieldAlias.empty() ? fieldName : fieldAlias; }
  void SetFieldAlias(const std::string& value);
  TppSearchOperatorType SearchOperator() const { return searchOperator; }
  void SetSearchOperator(TppSearchOperatorType value);
  const std::string& SearchExpression() const { return searchExpression; }
  void SetSearchExpression(const std::string& value);
  bool Mandatory() const { return mandatory; }
  void SetMandatory(bool value);
  // The field puts no condition on the data ("has any value").
  bool ShowAllValues() const { return showAllValues; }
  void SetShowAllValues(bool value);
  bool DisableCriteria() const { return disableCriteria; }
  void SetDisableCriteria(bool value);
  // The first field of its report (its description reads "Show all data
  // where the" rather than "and the").
  void SetFirstField(bool value) { firstField = value; }

  // The pipeline the field belongs to (not owned); its data type is the
  // pipeline's field's, dtString without a pipeline.
  TppDataPipeline* DataPipeline() const { return dataPipeline; }
  void SetDataPipeline(TppDataPipeline* value);
  TppDataType DataType() const;
  // The pipeline's wildcard, appended to text values that lack it.
  std::string Wildcard;

  // The expression's comma-separated entries converted by the data type;
  // an entry that does not convert is null.
  int ValueCount() const;
  Variant Values(int index) const;
  Variant Value() const { return Values(0); }

  std::string OperatorCaption() const { return ppSearchOperatorCaption(searchOperator, DataType()); }
  std::string Description() const;

  // Any change of the criteria (unless loading).
  std::function<void(TppAutoSearchField*)> OnChange;

protected:
  void Notification(TComponent* component, TOperation operation) override;

private:
  std::string dataPipelineName, fieldName, fieldAlias, searchExpression;
  TppSearchOperatorType searchOperator = soEqual;
  bool mandatory = false, showAllValues = false, disableCriteria = false, firstField = false;
  TppDataPipeline* dataPipeline = nullptr;

  void Changed();
  std::vector<std::string> Entries() const;
};

// Whether one entry converts to the data type (Boolean: its first letter
// one of 0 1 T F Y N; numbers may carry thousands separators); error is the
// message for the user when not.
bool ppCheckSearchEntry(TppDataType dataType, const std::string& entry, std::string& error);

// The entries of a search expression: split at commas, blanks around each
// removed.
std::vector<std::string> ppSplitSearchExpression(const std::string& expression);
