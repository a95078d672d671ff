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
  // The value in DataType's form; writing Empty or Null changes nothing.
  Variant Value() const;
  void SetValue(const Variant& value);
  // Each stores the value and takes its type.
  void SetAsInteger(int value);
  void SetAsDouble(double value);
  void SetAsString(const std::string& value);
  void SetAsBoolean(bool value);
  void SetAsDateTime(TDateTime value);
  void SetAsCurrency(Currency value);
  int AsInteger() const { return Value().AsInteger(); }
  double AsDouble() const { return Value().AsFloat(); }
  std::string AsString() const { return Value().AsString(); }
  bool AsBoolean() const { return Value().AsBoolean(); }

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
  void SetCalcOrder(int value);
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

protected:
  TppDataType ValueDataType() const override { return dataType; }
  std::string TextSource() const override;
  void PropertiesToDrawCommand(TppDrawCommand* command) override;

private:
  TppDataType dataType = dtString;
  Variant value;
  TppVarEventType calcType = veTraversal;
  TppVarEventType resetType = veReportEnd;
  TppCommunicator* calcComponent = nullptr;
  TppCommunicator* resetComponent = nullptr;
  // Who sends the events this run.
  TppCommunicator* calcSender = nullptr;
  TppCommunicator* resetSender = nullptr;
  int calcOrder = -1;
  // Texts too long for the page record, kept for the run's page records
  // (which refer to them by index) so that any page can be made again.
  mutable std::vector<std::string> longTexts;
  bool lookAhead = false;
  std::unique_ptr<TppLookAheadList> lookAheadList;

  void ClearValue();
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

