#pragma once
// Everything that prints on a report page: position and size in
// mm-thousandths, caption and text, font and colour, the binding to a
// pipeline field, the per-page generation state, and the creation of its
// draw command when the page is drawn. TppComponent places a printable in
// a band; TppCustomComponent is the base of the components that do not
// stretch.
//
// Invariant: a component is in its band's object list exactly when its
// Band() is that band (the band is its parent in the relative tree).

#include <functional>
#include <memory>
#include <string>

#include "ppCache.h"
#include "ppDrwCmd.h"
#include "ppGraphics.h"
#include "ppTypes.h"
#include "rtlTypeInfo.h"
#include "uiGraphics.h"

// The report's events are published, so that a layout names the methods
// that handle them (resolved against the stream's root when read).
using TppNotifyEvent = TEvent<void(TObject* sender)>;
using TppDrawCommandEvent = TEvent<void(TObject* sender, TObject* drawCommand)>;

class TppBand;
class TppCustomReport;
class TppDataPipeline;
class TppDrawCommand;
class TppGroup;
class TppPage;
class TppStretchable;
class TppSubReport;

// Band type codes (stored in layouts).
enum TppBandType : uint8_t {
  btHeader = 0, btTitle = 1, btColumnHeader = 2, btGroupHeader = 3, btDetail = 4, btGroupFooter = 5,
  btColumnFooter = 6, btSummary = 7, btFooter = 8, btPageStyle = 9
};

// Event sent after OnPrint; events of draw command creation and clicks.
constexpr int ppevPrint = 32;
constexpr int ppevDrawCommandCreate = 84;
constexpr int ppevDrawCommandClick = 85;
// The engine moved to the next record (computing components hear it).
constexpr int ppevEngineTraversal = 35;
// A computed value was reset or computed (after OnReset / OnCalc).
constexpr int ppevCalc = 33;
constexpr int ppevReset = 34;
// A group's break ended (its footer printed): what it resets starts again.
constexpr int ppevAfterGroupBreak = 27;
// A printable's own page-state record; subclasses append theirs after it.
constexpr int ppPrintableStateSize = 8;

class TppPrintable : public TppCacheable {
  RTL_DECLARE_CLASS(TppPrintable, TppCacheable)

  explicit TppPrintable(TComponent* owner);
  ~TppPrintable() override;

  // Layout.
  TAlignment Alignment() const { return alignment; }
  void SetAlignment(TAlignment value);
  TppTextAlignment TextAlignment() const { return textAlignment; }
  void SetTextAlignment(TppTextAlignment value);
  bool AutoSize() const { return autoSize; }
  virtual void SetAutoSize(bool value);
  // The AutoSize a new component of the class starts with; a layout
  // stores AutoSize only when it differs, so both must agree.
  virtual bool DefaultAutoSize() const { return false; }
  bool AutoSizeStored() const { return autoSize != DefaultAutoSize(); }
  const std::string& Caption() const { return caption; }
  void SetCaption(const std::string& value);
  int Color() const { return color; }
  void SetColor(int value);
  TppFont* Font() const { return font.get(); }
  void SetFont(TppFont* value);
  bool Transparent() const { return transparent; }
  void SetTransparent(bool value);
  bool Visible() const { return visible; }
  void SetVisible(bool value);
  bool WordWrap() const { return wordWrap; }
  void SetWordWrap(bool value);
  bool ReprintOnOverFlow() const { return reprintOnOverFlow; }
  virtual void SetReprintOnOverFlow(bool value);
  bool ShiftWithParent() const { return shiftWithParent; }
  virtual void SetShiftWithParent(bool value);
  bool StretchWithParent() const { return stretchWithParent; }
  virtual void SetStretchWithParent(bool value);
  bool ParentWidth() const { return parentWidth; }
  void SetParentWidth(bool value) { parentWidth = value; }
  bool ParentHeight() const { return parentHeight; }
  void SetParentHeight(bool value) { parentHeight = value; }
  virtual std::string GetText() const { return text; }
  // How lists and messages name the component.
  virtual std::string GetDescription() const { return GetUserName(); }
  void SetText(const std::string& value);
  TppUnitType Units() const { return units; }
  void SetUnits(TppUnitType value) { units = value; }

  int mmLeft() const { return left; }
  int mmTop() const { return top; }
  int mmWidth() const { return width; }
  int mmHeight() const { return height; }
  virtual void SetmmLeft(int value);
  virtual void SetmmTop(int value);
  virtual void SetmmWidth(int value);
  virtual void SetmmHeight(int value);
  void SetBounds(int mmLeft, int mmTop, int mmWidth, int mmHeight);
  // In Units; the conversion uses the screen for printer pixels.
  double Left() const;
  double Top() const;
  double Width() const;
  double Height() const;
  void SetLeft(double value);
  void SetTop(double value);
  void SetWidth(double value);
  void SetHeight(double value);

  // Data.
  const std::string& DataField() const { return dataField; }
  void SetDataField(const std::string& value);
  TppDataPipeline* DataPipeline() const { return dataPipeline; }
  virtual void SetDataPipeline(TppDataPipeline* value);
  // The pipeline's user name as stored in layouts; bound again by
  // FixUpDataPipeline once the pipeline is known.
  std::string DataPipelineName() const;
  void SetDataPipelineName(const std::string& value) { dataPipelineName = value; }
  void FixUpDataPipeline(TppDataPipeline* pipeline, const std::string& name);
  virtual bool IsDataAware() const { return false; }
  bool DataFieldReady() const;

  // Generation state.
  bool DrawComponent() const { return drawComponent; }
  void SetDrawComponent(bool value) { drawComponent = value; }
  bool GenerationComplete() const { return generationComplete; }
  bool OutOfSpace() const { return outOfSpace; }
  bool OverFlow() const { return overFlow; }
  int SpaceUsed() const { return spaceUsed; }
  void SetSpaceUsed(int value) { spaceUsed = value; }
  const TRect& DrawRect() const { return drawRect; }

  virtual void InitGeneration();
  virtual void ResetGeneration();
  virtual void Generate() = 0;
  virtual void CheckGenerationComplete();
  virtual void PrepareDraw();
  virtual void DrawToPage(TppPage* page);
  // Text sizes itself to its caption here.
  virtual void AdjustSize() {}
  void DoOnPrint();

  // Computing components: the next computation starts afresh; Compute
  // takes the current record. Look-ahead lists are made anew as a
  // two-pass run starts, and stop hearing their owner when released.
  bool ResetOnCompute() const { return resetOnCompute; }
  void SetResetOnCompute(bool value) { resetOnCompute = value; }
  virtual void RequestResetOnCompute() { resetOnCompute = true; }
  virtual void Compute() {}
  virtual bool NeedsResetOnInit() const { return false; }
  virtual void PrepareLookAhead() {}
  virtual void ReleaseLookAhead() {}

  // Page state: DrawComponent, completion, space and overflow.
  void CaptureState(uint8_t* record) const override;
  void ApplyState(const uint8_t* record) override;
  void SavePageState(int page) override { SaveStateRecord(page); }
  void RestorePageState(int page) override { RestoreStateRecord(page); }

  virtual TppBand* GetBand() const { return nullptr; }
  virtual bool ReportIsPrinting() const { return false; }

  TppNotifyEvent OnPrint;
  TppDrawCommandEvent OnDrawCommandCreate, OnDrawCommandClick;

  // The drill-down subreport whose instance a click on this component's
  // draw commands expands or collapses (set by the subreport as a run
  // starts; nullptr: none).
  // A reference to this printable that knows when it is freed: a page kept
  // after its report (a viewer's, a cache's copy) may still be clicked.
  std::weak_ptr<TppPrintable*> Guard() const;
  TppSubReport* DrillDownSubReport() const { return drillDownSubReport; }
  void SetDrillDownSubReport(TppSubReport* value) { drillDownSubReport = value; }

  void Notify(TppCommunicator* sender, int operation) override;
  // Older layouts: properties read and dropped, or kept for conversion.
  void DefineProperties(TFiler& filer) override;
  // A layout stored by an older engine version (number as "5.56" 5560).
  virtual void UpgradeFromVersion(int versionNo);

protected:
  // Set by each concrete class's constructor; nullptr creates nothing.
  void SetDrawCommandClass(const TClassInfo* value) { drawCommandClass = value; }
  virtual void CreateDrawCommand(TppPage* page);
  virtual void PropertiesToDrawCommand(TppDrawCommand* command);
  virtual void LayoutChanged() {}
  virtual bool AllowsFullJustify() const { return false; }
  void SetGenerationComplete(bool value) { generationComplete = value; }
  void SetOutOfSpace(bool value) { outOfSpace = value; }
  void SetOverFlow(bool value) { overFlow = value; }
  void SetDrawRect(const TRect& value) { drawRect = value; }

private:
  struct TStateRecord {
    uint8_t DrawComponent, GenerationComplete, OutOfSpace, OverFlow;
    int32_t SpaceUsed;
  };

  TAlignment alignment = taLeftJustify;
  TppTextAlignment textAlignment = taLeftJustified;
  bool autoSize = false;
  std::string caption;
  int color = clWhite;
  std::unique_ptr<TppFont> font;
  bool transparent = false;
  bool visible = true;
  bool wordWrap = false;
  bool reprintOnOverFlow = false;
  bool shiftWithParent = false;
  bool stretchWithParent = false;
  bool parentWidth = false;
  bool parentHeight = false;
  std::string text;
  TppUnitType units = utInches;
  int left = 0, top = 0, width = 0, height = 0;
  std::string dataField;
  TppDataPipeline* dataPipeline = nullptr;
  std::string dataPipelineName;
  std::string legacyCaptionField;
  const TClassInfo* drawCommandClass = nullptr;
  TppSubReport* drillDownSubReport = nullptr;
  // Made on first use, emptied when the printable is freed.
  mutable std::shared_ptr<TppPrintable*> life;

  bool resetOnCompute = false;
  bool drawComponent = false;
  bool generationComplete = false;
  bool outOfSpace = false;
  bool overFlow = false;
  int spaceUsed = 0;
  TRect drawRect;

  void DrawCommandClick(TppDrawCommand* command);
};

class TppComponent : public TppPrintable {
  RTL_DECLARE_CLASS(TppComponent, TppPrintable)

  explicit TppComponent(TComponent* owner);
  ~TppComponent() override;
  void BeforeDestruction() override;

  TppBand* Band() const { return band; }
  void SetBand(TppBand* value);
  TppBand* GetBand() const override { return band; }
  TppBandType BandType() const { return bandType; }
  int GroupNo() const { return groupNo; }
  bool ParentDataPipeline() const { return parentDataPipeline; }
  void SetParentDataPipeline(bool value);
  void SetDataPipeline(TppDataPipeline* value) override;

  // The region that holds the component (nullptr: the band itself). Only a
  // region is taken; anything else is ignored.
  TppStretchable* Region() const { return region; }
  void SetRegion(TppComponent* value);
  virtual bool IsRegion() const { return false; }
  virtual bool IsStretchable() const { return false; }
  // Generated by another object (its region, or the stretchable it
  // shifts relative to), not by its band.
  virtual bool GeneratedByOther() const { return region != nullptr; }
  // Drawing changes its state (subreports move their child's pages): it
  // draws on the pages of a first pass too, which are never delivered.
  virtual bool DrawsOnCalculationPages() const { return false; }
  TppGroup* ResetGroup() const { return resetGroup; }
  // Listens to the group's after-break event (27).
  void SetResetGroup(TppGroup* value);
  void Notify(TppCommunicator* sender, int operation) override;

  TppCustomReport* GetReport() const;
  // The component joined a band or left it, or its band joined or left a
  // report (Band() and GetReport() tell which).
  virtual void BandChanged() {}
  TppCustomReport* GetMainReport() const;
  // Lets pending window messages run, through the main report.
  void ProcessMessages() const;
  bool ReportIsPrinting() const override;
  // Position in the band's list; -1 without band.
  int Index() const;

  void SetmmLeft(int value) override;
  void SetmmTop(int value) override;
  void SetmmWidth(int value) override;
  void SetmmHeight(int value) override;
  void SizeToParent();

  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* value) override;
  bool HasParent() const override { return true; }

protected:
  void PropertiesToDrawCommand(TppDrawCommand* command) override;
  void LayoutChanged() override;
  // A region's object list follows its objects' Region.
  virtual void RegionObjectAdded(TppComponent* component) {}
  virtual void RegionObjectRemoved(TppComponent* component) {}

private:
  friend class TppBand;
  TppBand* band = nullptr;
  TppStretchable* region = nullptr;
  TppGroup* resetGroup = nullptr;
  TppBandType bandType = btDetail;
  int groupNo = -1;
  bool parentDataPipeline = true;
};

// The base of the components that take their design height on the page
// (text, graphics, images): placed below the band's start, out of space in
// a dynamic band when they pass the page's limit.
class TppCustomComponent : public TppComponent {
  RTL_DECLARE_CLASS(TppCustomComponent, TppComponent)

  explicit TppCustomComponent(TComponent* owner) : TppComponent(owner) {}

  void Generate() override;
  // Older layouts named the parent-following settings after the band.
  void DefineProperties(TFiler& filer) override;

protected:
  // Places the component in its container's space on the page.
  void Place();
  // Runs after placement: text sizes itself, data text decides whether a
  // repeated value prints.
  virtual void PlacementDone() {}
};
