#pragma once
// Multi-line text that grows with its content and goes on on the next
// page: lines typed into the layout, or the text of a pipeline field. The
// memo wraps its text into the lines that fit between its top and the page
// bottom; what remains goes on the following pages.

#include <memory>
#include <string>

#include "ppStretchable.h"
#include "rtlStringList.h"

using TppMemoEvent = TEvent<void(TObject* sender, TObject* lines)>;

class TppCustomMemo : public TppStretchable {
  RTL_DECLARE_CLASS(TppCustomMemo, TppStretchable)

  explicit TppCustomMemo(TComponent* owner);

  TStringList* Lines() const;
  void SetLines(TStringList* value);
  std::string GetText() const override;
  bool CharWrap() const { return charWrap; }
  void SetCharWrap(bool value);
  int mmLeading() const { return leading; }
  void SetmmLeading(int value);
  double Leading() const;
  void SetLeading(double value);
  // In Units; stored in mm-thousandths.
  TStringList* TabStopPositions() const;
  void SetTabStopPositions(TStringList* value);
  const TStringList& mmTabStopPositions() const { return tabStops; }
  bool ForceJustifyLastLine() const { return forceJustifyLastLine; }
  void SetForceJustifyLastLine(bool value) { forceJustifyLastLine = value; }
  // Where the next page goes on in the text (bytes).
  int WrapPosition() const { return wrapPosition; }

  void InitGeneration() override;
  static constexpr int StateSize = TppStretchable::StateSize + 4;
  void CaptureState(uint8_t* record) const override;
  void ApplyState(const uint8_t* record) override;
  void DefineProperties(TFiler& filer) override;
  // Layouts below 3000 kept the leading in screen pixels.
  void UpgradeFromVersion(int versionNo) override;

protected:
  bool AllowsFullJustify() const override { return true; }
  // Refreshes the lines from their source (data memos read their field).
  virtual void LoadLines() const {}
  // Decides whether a repeated value prints; false: nothing is placed.
  virtual bool PrintsHere() { return true; }
  void StretchContent() override;
  void PropertiesToDrawCommand(TppDrawCommand* command) override;
  mutable TStringList lines;

private:
  bool charWrap = false;
  bool forceJustifyLastLine = false;
  int leading = 0;
  TStringList tabStops;
  mutable TStringList tabStopsInUnits;
  int wrapPosition = 0;
  TStringList wrapped;
};

class TppMemo : public TppCustomMemo {
  RTL_DECLARE_CLASS(TppMemo, TppCustomMemo)
  using TppCustomMemo::TppCustomMemo;
};

class TppDBMemo : public TppCustomMemo {
  RTL_DECLARE_CLASS(TppDBMemo, TppCustomMemo)

  explicit TppDBMemo(TComponent* owner);
  bool IsDataAware() const override { return true; }
  bool NeedsResetOnInit() const override { return suppressRepeatedValues; }
  bool AutoDisplay() const { return autoDisplay; }
  void SetAutoDisplay(bool value) { autoDisplay = value; }
  bool SuppressRepeatedValues() const { return suppressRepeatedValues; }
  void SetSuppressRepeatedValues(bool value);
  TppMemoEvent OnGetMemo;

  void InitGeneration() override;
  void RequestResetOnCompute() override;
  void Compute() override;
  void EventNotify(TppCommunicator* sender, int eventId, TppEventParams* params) override;

protected:
  void LoadLines() const override;
  bool PrintsHere() override;

private:
  bool autoDisplay = true;
  bool suppressRepeatedValues = false;
  bool alreadyPrinted = false;
  std::string priorValue;
  bool priorValueSame = false;
};

