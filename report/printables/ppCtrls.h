#pragma once
// The text components: the base of every text (display format, automatic
// size, text-file saving), the fixed label, the value of a pipeline field
// with suppression of repeated values, and the running count, sum,
// minimum, maximum or average of a field, reset by a group, which a
// two-pass report can print ahead of where it is reached.

#include <memory>
#include <string>

#include "ppLookAhead.h"
#include "ppPrintable.h"

class TppEngine;

using TppGetTextEvent = TEvent<void(TObject* sender, std::string& text)>;
using TppFormatEvent = TEvent<void(TObject* sender, const std::string& displayFormat, TppDataType dataType,
                                   const Variant& value, std::string& text)>;

// Sent after OnGetText, with the text as the parameter.
constexpr int ppevGetText = 53;

class TppCustomText : public TppCustomComponent {
  RTL_DECLARE_CLASS(TppCustomText, TppCustomComponent)

  explicit TppCustomText(TComponent* owner);

  // The text source, then OnGetText (and event 53) may change it.
  std::string GetText() const override;
  bool CharWrap() const { return charWrap; }
  void SetCharWrap(bool value);
  const std::string& DisplayFormat() const { return displayFormat; }
  virtual void SetDisplayFormat(const std::string& value);
  bool Save() const { return save; }
  void SetSave(bool value);
  int SaveLength() const { return saveLength; }
  void SetSaveLength(int value);
  // The position among the band's saved texts; -1 without band or save.
  int SaveOrder() const;
  // Moves the text to the place among the band's saved texts (clamped to
  // their ends); the others keep their order.
  void SetSaveOrder(int value);
  // The band's texts that save, in save order.
  static std::vector<TppCustomText*> BandSaves(const TppBand* band);
  std::string GetDescription() const override;

  TppGetTextEvent OnGetText;
  TppFormatEvent OnFormat;

  // Measures the caption and takes its size (AutoSize), or its height
  // (fixed width without word wrap).
  void AdjustSize() override;
  bool DefaultAutoSize() const override { return true; }

protected:
  // The stored text here; data-bound and computed texts replace it.
  virtual std::string TextSource() const { return TppPrintable::GetText(); }
  void PropertiesToDrawCommand(TppDrawCommand* command) override;
  bool Loading() const;
  // The text formatted by type and format, then OnFormat.
  std::string FormatValue(TppDataType dataType, const Variant& value) const;

private:
  bool charWrap = false;
  std::string displayFormat;
  bool save = false;
  int saveLength = 0;
  int saveOrder = -1;
};

class TppLabel : public TppCustomText {
  RTL_DECLARE_CLASS(TppLabel, TppCustomText)
  explicit TppLabel(TComponent* owner);
  void SetUserName(const std::string& name) override;
};

class TppDBText : public TppCustomText {
  RTL_DECLARE_CLASS(TppDBText, TppCustomText)

  explicit TppDBText(TComponent* owner);

  bool IsDataAware() const override { return true; }
  bool NeedsResetOnInit() const override { return true; }
  bool DefaultAutoSize() const override { return false; }
  bool BlankWhenZero() const { return blankWhenZero; }
  void SetBlankWhenZero(bool value);
  bool SuppressRepeatedValues() const { return suppressRepeatedValues; }
  void SetSuppressRepeatedValues(bool value);
  bool ReprintOnSubsequent() const { return reprintOnSubsequent; }
  void SetReprintOnSubsequent(bool value);

  bool AlreadyPrinted() const { return alreadyPrinted; }
  int FirstPage() const { return firstPage; }
  const std::string& PriorValue() const { return priorValue; }
  bool PriorValueSame() const { return priorValueSame; }
  Variant FieldValue() const;
  std::string GetDescription() const override;

  void InitGeneration() override;
  void RequestResetOnCompute() override;
  void Compute() override;
  void EventNotify(TppCommunicator* sender, int eventId, TppEventParams* params) override;

  static constexpr int StateSize = ppPrintableStateSize + 8;
  void CaptureState(uint8_t* record) const override;
  void ApplyState(const uint8_t* record) override;

protected:
  std::string TextSource() const override;
  // Whether a repeated value prints here.
  void PlacementDone() override;
  // The engine whose record traversal (event 35) computes the component.
  TppEngine* ReportEngine() const;
  int AbsolutePageNo() const;

private:
  bool blankWhenZero = false;
  bool suppressRepeatedValues = false;
  bool reprintOnSubsequent = false;
  bool alreadyPrinted = false;
  int firstPage = -1;
  std::string priorValue;
  bool priorValueSame = false;
};

enum TppDBCalcType : uint8_t { dcCount, dcSum, dcMinimum, dcMaximum, dcAverage };
RTL_ENUM_TYPE(TppDBCalcType, "dcCount", "dcSum", "dcMinimum", "dcMaximum", "dcAverage")

class TppDBCalc : public TppDBText {
  RTL_DECLARE_CLASS(TppDBCalc, TppDBText)

  explicit TppDBCalc(TComponent* owner);
  ~TppDBCalc() override;

  TppDBCalcType DBCalcType() const { return dbCalcType; }
  void SetDBCalcType(TppDBCalcType value);
  bool LookAhead() const { return lookAhead; }
  // Ignored while printing; switching it on makes the report two-pass.
  void SetLookAhead(bool value);
  // The running result (the count for dcCount, the sum for dcAverage) and
  // the number of values taken.
  double Value() const { return value; }
  double Divisor() const { return count; }
  // The result to print (the average for dcAverage; 0 without values).
  double Result() const;
  void Clear();
  bool LookAheadActive() const;
  std::string LookAheadKey() const;

  TppNotifyEvent OnCalc, OnGroupBreak;

  void RequestResetOnCompute() override;
  void Compute() override;
  void PrepareLookAhead() override;
  void ReleaseLookAhead() override;

  static constexpr int StateSize = TppDBText::StateSize + 16;
  void CaptureState(uint8_t* record) const override;
  void ApplyState(const uint8_t* record) override;
  // Saving a page's record marks it: a page or column footer's total reset
  // after that is saved for the page again.
  void SavePageState(int page) override;
  void InitGeneration() override;

protected:
  std::string TextSource() const override;
  void PropertiesToDrawCommand(TppDrawCommand* command) override;

private:
  TppDBCalcType dbCalcType = dcSum;
  bool lookAhead = false;
  double value = 0;
  double count = 0;
  bool pendingPage = false;
  std::unique_ptr<TppLookAheadList> lookAheadList;

  TppDataType ResultType() const;
  int TraversalCount() const;
};

