#pragma once
// A component that holds a whole second report, printed inside the band
// that holds it: the child report generates pages of its own into the
// space the subreport has, and their draw commands move onto the parent's
// page. A child that does not fit continues on the parent's next page.
// A section (pbSection) instead prints the child's whole pages, with the
// child's page bands and page setup, as pages of their own between the
// parent's.

#include <string>
#include <vector>

#include "ppPrintable.h"
#include "ppReport.h"
#include "ppStretchable.h"

enum TppPrintBehaviorType : uint8_t { pbChild, pbSection, pbFixed };
RTL_ENUM_TYPE(TppPrintBehaviorType, "pbChild", "pbSection", "pbFixed")

class TppSubReport;

class TppChildReport : public TppCustomReport {
  RTL_DECLARE_CLASS(TppChildReport, TppCustomReport)
  explicit TppChildReport(TComponent* owner);

  TppSubReport* SubReport() const { return subReport; }
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* value) override;
  bool HasParent() const override { return true; }

private:
  friend class TppSubReport;
  TppSubReport* subReport = nullptr;
};

class TppSubReport : public TppStretchable {
  RTL_DECLARE_CLASS(TppSubReport, TppStretchable)

  explicit TppSubReport(TComponent* owner);
  ~TppSubReport() override;
  void BeforeDestruction() override;

  // Created with the subreport; owned by the subreport's owner.
  TppChildReport* Report() const { return child; }
  TppPrintBehaviorType PrintBehavior() const { return printBehavior; }
  void SetPrintBehavior(TppPrintBehaviorType value);
  // A section's pages take the parent's page setup (copied as the section
  // starts), else the child report's own.
  bool ParentPrinterSetup() const { return parentPrinterSetup; }
  void SetParentPrinterSetup(bool value) { parentPrinterSetup = value; }
  // A section's pages are numbered from 1 (else the parent's numbers go on).
  bool ResetPageNo() const { return resetPageNo; }
  void SetResetPageNo(bool value) { resetPageNo = printBehavior == pbSection && value; }
  // A section whose pages form a print job of their own (the report's
  // pages after it start another). Setting it makes the subreport a
  // section; another behaviour clears it.
  bool NewPrintJob() const { return newPrintJob; }
  void SetNewPrintJob(bool value);
  // A fixed subreport that traverses all its data stretches over the
  // parent's pages like a child (its band becomes dynamic as a run starts).
  bool TraverseAllData() const { return traverseAllData; }
  void SetTraverseAllData(bool value) { traverseAllData = value; }
  void SetDataPipeline(TppDataPipeline* value) override;

  // Drill-down: a click on a draw command of DrillDownComponent (in the
  // same band) expands or collapses the instance of this subreport printed
  // with it, and the main report makes its pages again. Only expanded
  // instances print (every one with ExpandAll); the others take no space.
  // Never for a section. Each instance of a run has a key: its number in
  // the run ("%8d") and the key of the report that holds the subreport
  // (empty for a main report), so that nested subreports differ.
  TppComponent* DrillDownComponent() const { return drillDownComponent; }
  // Refused for a section; the component leaves any other subreport of the
  // band that had it.
  void SetDrillDownComponent(TppComponent* value);
  bool ExpandAll() const { return expandAll; }
  void SetExpandAll(bool value);
  int ExpansionCount() const { return static_cast<int>(expansions.size()); }
  const std::string& Expansions(int index) const { return expansions[static_cast<size_t>(index)]; }
  std::string CurrentExpansionKey() const;
  std::string CurrentReportKey() const;
  // The instance printing now is expanded.
  bool DrillDownExpanded() const { return expanded; }
  // Instances started in this run so far.
  int Count() const { return instanceCount; }
  // Makes the child report when the subreport has none (a layout that
  // stored none), owned as the master report's components are.
  void CreateReport(TppCustomReport* master);
  // A click on a drill-down draw command printed with the instance of
  // that key: the key joins the expanded ones or leaves them, the command
  // asks for its page to be drawn again, and the main report generates
  // again from the command's page (a two-pass report from the start).
  void ToggleExpansion(const std::string& key, TppDrawCommand* command);

  bool DrawsOnCalculationPages() const override { return true; }
  void InitGeneration() override;
  void Generate() override;
  void CaptureState(uint8_t* record) const override;
  void ApplyState(const uint8_t* record) override;

  void GetChildren(const TGetChildProc& proc, TComponent* root) override;
  // A child report read from a layout replaces the one made at creation.
  void AdoptChild(TppChildReport* value);

  void Notification(TComponent* component, TOperation operation) override;
  // The child report's parent report follows the band's.
  void BandChanged() override;

protected:
  void CreateDrawCommand(TppPage* page) override;

private:
  struct TStateRecord {
    uint8_t Base[TppStretchable::StateSize];
    int32_t ChildPageNo, FirstHeight, NextHeight;
    uint8_t Finished, SectionState, Expanded, Reserved;
    int32_t SectionStartPage, InstanceCount;
  };

  TppChildReport* child = nullptr;
  // Where a section stands: not started, waiting for a page of its own,
  // printing its pages.
  enum TSectionState : uint8_t { ssNone, ssWaiting, ssPrinting };

  TppPrintBehaviorType printBehavior = pbChild;
  bool parentPrinterSetup = true;
  bool resetPageNo = false;
  bool traverseAllData = false;
  bool newPrintJob = false;
  bool expandAll = false;
  TppComponent* drillDownComponent = nullptr;
  std::vector<std::string> expansions;
  // The instance printing (in the page state).
  int instanceCount = 0;
  bool expanded = false;
  TSectionState sectionState = ssNone;
  int sectionStartPage = 0;  // the parent's page of the section's first
  int childPageNo = 0;    // the child page on the parent's page
  int firstHeight = 0;    // the child's page height on its first page
  int nextHeight = 0;     // and on the pages after
  bool finished = true;
  bool childRunValid = false;
  TppPage* childPage = nullptr;
  int shiftLeft = 0, shiftTop = 0;

  void SetChildPage(int width, int height);
  bool DrillsDown() const { return drillDownComponent && printBehavior != pbSection; }
  // A new instance of a drill-down subreport: false when it stays
  // collapsed (it then took no space).
  bool StartInstance();
  bool PrintsAsChild() const { return printBehavior == pbChild || (printBehavior == pbFixed && traverseAllData); }
  void GenerateFixed(TppBand* band, int top, int room);
  void GenerateSection(TppBand* band);
};

void ppRegisterSubReportClasses();
