#pragma once
// Computed texts: the system variables (dates, document name, page
// numbers), the typed variable that user code computes at a chosen moment
// and resets at another (optionally printed ahead of where its value is
// reached), and the older calculation component.

#include <memory>
#include <string>
#include <vector>

#include "ppCtrls.h"

RTL_ENUM_TYPE(TppVarEventType, "veTraversal", "veDataPipelineTraversal", "vePageStart", "vePageEnd", "veColumnStart",
              "veColumnEnd", "veReportStart", "veReportEnd", "veGroupStart", "veGroupEnd", "veGroupBeforeHeader",
              "veGroupBeforeFooter")

using TppVarCalcEvent = TEvent<void(TObject* sender, Variant& value)>;

class TppCustomVariable : public TppCustomText {
  RTL_DECLARE_CLASS(TppCustomVariable, TppCustomText)
  explicit TppCustomVariable(TComponent* owner);

protected:
  virtual TppDataType ValueDataType() const = 0;
  void PropertiesToDrawCommand(TppDrawCommand* command) override;
};

class TppSystemVariable : public TppCustomVariable {
  RTL_DECLARE_CLASS(TppSystemVariable, TppCustomVariable)

  explicit TppSystemVariable(TComponent* owner);
  TppVarType VarType() const { return varType; }
  // The page-set kinds ("Page n of m") make the report two-pass.
  void SetVarType(TppVarType value);

protected:
  TppDataType ValueDataType() const override;
  std::string TextSource() const override;
  void PropertiesToDrawCommand(TppDrawCommand* command) override;

private:
  TppVarType varType = vtDate;
};

class TppVariable : public TppCustomVariable {
  RTL_DECLARE_CLASS(TppVariable, TppCustomVariable)

  explicit TppVariable(TComponent* owner);
  ~TppVariable() override;

  TppDataType DataType() const { return dataType; }
  // Only dtBoolean to dtString are taken.
  void SetDataType(TppDataType value);
  // The field DataType chooses, as a Variant (a Char as a one-character
  // text, empty while the character is NUL); other types give Empty.
  // Writing converts into that field; Empty or Null changes nothing, and a
  // value that does not convert leaves the field as it was.
  Variant Value() const;
  void SetValue(const Variant& value);
  // Each type keeps its own field. Reading gives the field; writing stores
  // it and makes its type the variable's DataType.
  bool AsBoolean() const { return booleanValue; }
  void SetAsBoolean(bool value);
  char AsChar() const { return charValue; }
  void SetAsChar(char value);
  Currency AsCurrency() const { return currencyValue; }
  void SetAsCurrency(Currency value);
  TDateTime AsDateTime() const { return dateTimeValue; }
  void SetAsDateTime(TDateTime value);
  TDateTime AsDate() const { return dateTimeValue; }
  void SetAsDate(TDateTime value);
  TDateTime AsTime() const { return dateTimeValue; }
  void SetAsTime(TDateTime value);
  double AsDouble() const { return doubleValue; }
  void SetAsDouble(double value);
  long double AsExtended() const { return extendedValue; }
  void SetAsExtended(long double value);
  int AsInteger() const { return integerValue; }
  void SetAsInteger(int value);
  float AsSingle() const { return singleValue; }
  void SetAsSingle(float value);
  const std::string& AsString() const { return stringValue; }
  void SetAsString(const std::string& value);

  TppVarEventType CalcType() const { return calcType; }
  void SetCalcType(TppVarEventType value);
  TppVarEventType ResetType() const { return resetType; }
  void SetResetType(TppVarEventType value);
  // The communicator whose event computes (resets) the variable, for the
  // pipeline and group moments; the report or its engine for the others.
  TppCommunicator* CalcComponent() const { return calcComponent; }
  void SetCalcComponent(TppCommunicator* value);
  TppCommunicator* ResetComponent() const { return resetComponent; }
  void SetResetComponent(TppCommunicator* value);
  // The variable's place among the band's variables: those that hear the
  // same event compute in band and then this order.
  int CalcOrder() const;
  // The band's variables, in calculation order.
  static std::vector<TppVariable*> BandVariables(const TppBand* band);
  // While loading (or without a band) the order is only kept; else the
  // variable moves to it.
  void SetCalcOrder(int value);
  // Takes the variable out of the band's calculation order and puts it
  // back at n (clamped to the order's ends); the others keep their order.
  void MoveToCalcOrder(int n);
  std::string GetSortKey() const override;
  bool LookAhead() const { return lookAhead; }
  void SetLookAhead(bool value);
  bool LookAheadActive() const;

  TppVarCalcEvent OnCalc, OnReset;

  void InitGeneration() override;
  void RequestResetOnCompute() override;
  void Compute() override;
  void PrepareLookAhead() override;
  void ReleaseLookAhead() override;
  void EventNotify(TppCommunicator* sender, int eventId, TppEventParams* params) override;
  void Notify(TppCommunicator* sender, int operation) override;

  static constexpr int StateSize = ppPrintableStateSize + 48;
  void CaptureState(uint8_t* record) const override;
  void ApplyState(const uint8_t* record) override;
  // Saving a page's record marks it, so that a value computed or reset at a
  // page's or column's end after that is saved for the page again.
  void SavePageState(int page) override;
  // With the page records gone, so are the texts kept aside for them.
  void TruncateFrom(int page) override;

protected:
  TppDataType ValueDataType() const override { return dataType; }
  std::string TextSource() const override;
  void PropertiesToDrawCommand(TppDrawCommand* command) override;

private:
  TppDataType dataType = dtString;
  bool booleanValue = false;
  char charValue = 0;
  Currency currencyValue{};
  TDateTime dateTimeValue = 0;  // dtDate, dtTime and dtDateTime
  double doubleValue = 0;
  long double extendedValue = 0;
  int integerValue = 0;
  float singleValue = 0;
  std::string stringValue;
  bool pendingPage = false;
  TppVarEventType calcType = veTraversal;
  TppVarEventType resetType = veReportEnd;
  TppCommunicator* calcComponent = nullptr;
  TppCommunicator* resetComponent = nullptr;
  // Who sends the events this run.
  TppCommunicator* calcSender = nullptr;
  TppCommunicator* resetSender = nullptr;
  int calcOrder = -1;
  // Texts too long for the page record, kept while the page records that
  // refer to them by index last, so that any page can be made again.
  mutable std::vector<std::string> longTexts;
  bool lookAhead = false;
  std::unique_ptr<TppLookAheadList> lookAheadList;

  void ClearValue();
  // Stores the value in DataType's field (throws when it does not convert).
  void StoreValue(const Variant& value);
  void TakeType(TppDataType type);
  // With a page's record saved and the moment a page's or column's end:
  // the state goes into the current page's record again.
  void SavePendingPage(TppVarEventType moment);
  // It hears exactly the events of its calc and reset moments.
  void ListenToMoments();
  TppCommunicator* SenderFor(TppVarEventType type, TppCommunicator* userComponent) const;
  void Listen(TppCommunicator*& current, TppCommunicator* sender);
  std::string LookAheadKey() const;
  int TraversalCount() const;
};

class TppCalc : public TppCustomText {
  RTL_DECLARE_CLASS(TppCalc, TppCustomText)

  explicit TppCalc(TComponent* owner);
  TppCalcType CalcType() const { return calcType; }
  void SetCalcType(TppCalcType value);
  TppDataType CustomType() const { return customType; }
  // Only for ctCustom.
  void SetCustomType(TppDataType value);
  bool NeedsResetOnInit() const override { return true; }
  void Compute() override;
  TppNotifyEvent OnCalc;

protected:
  std::string TextSource() const override;
  void PropertiesToDrawCommand(TppDrawCommand* command) override;

private:
  TppCalcType calcType = ctDate;
  TppDataType customType = dtDate;
};

