#include "ppSubReport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ppBands.h"
#include "ppDrwCmd.h"
#include "ppEngine.h"
#include "ppPage.h"
#include "ppPrinterSetup.h"

RTL_DEFINE_CLASS(TppChildReport)

TppChildReport::TppChildReport(TComponent* owner) : TppCustomReport(owner) {}

TComponent* TppChildReport::GetParentComponent() const { return subReport; }

void TppChildReport::SetParentComponent(TComponent* value) {
  if (auto* sub = dynamic_cast<TppSubReport*>(value)) sub->AdoptChild(this);
}

const TClassInfo& TppSubReport::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppSubReport>("TppSubReport")
          .Property("DrillDownComponent", &TppSubReport::DrillDownComponent, &TppSubReport::SetDrillDownComponent)
          .Property("ExpandAll", &TppSubReport::ExpandAll, &TppSubReport::SetExpandAll)
          .Default(0)
          .Property("NewPrintJob", &TppSubReport::NewPrintJob, &TppSubReport::SetNewPrintJob)
          .Default(0)
          .Property("ParentPrinterSetup", &TppSubReport::ParentPrinterSetup, &TppSubReport::SetParentPrinterSetup)
          .Default(1)
          .Property("PrintBehavior", &TppSubReport::PrintBehavior, &TppSubReport::SetPrintBehavior)
          .Default(pbChild)
          .Property("ResetPageNo", &TppSubReport::ResetPageNo, &TppSubReport::SetResetPageNo)
          .Default(0)
          .Property("TraverseAllData", &TppSubReport::TraverseAllData, &TppSubReport::SetTraverseAllData)
          .Default(0)
          .Build();
  return info;
}

TppSubReport::TppSubReport(TComponent* owner) : TppStretchable(owner) {
  SetCacheRecordSize(sizeof(TStateRecord));
  // While a layout is read, the child report comes from the stream.
  if (owner && (owner->ComponentState().Contains(csReading) || owner->ComponentState().Contains(csLoading))) return;
  AdoptChild(new TppChildReport(owner));
  child->CreateDefaultBands();
}

TppSubReport::~TppSubReport() {
  // Freed without BeforeDestruction: the component forgets this one too.
  if (drillDownComponent && drillDownComponent->DrillDownSubReport() == this)
    drillDownComponent->SetDrillDownSubReport(nullptr);
  FreeAndNil(child);
}

void TppSubReport::BeforeDestruction() {
  SetDrillDownComponent(nullptr);
  FreeAndNil(child);
  inherited::BeforeDestruction();
}

void TppSubReport::CreateReport(TppCustomReport* master) {
  if (child) return;
  AdoptChild(new TppChildReport(master && master->Owner() ? master->Owner() : Owner()));
  child->CreateDefaultBands();
}

void TppSubReport::AdoptChild(TppChildReport* value) {
  if (value == child) return;
  FreeAndNil(child);
  child = value;
  child->subReport = this;
  child->SetParent(this);
  BandChanged();
}

void TppSubReport::BandChanged() {
  if (child) child->SetParentReport(Band() ? Band()->Report() : nullptr);
}

void TppSubReport::Notification(TComponent* component, TOperation operation) {
  inherited::Notification(component, operation);
  if (operation == opRemove && component == drillDownComponent) drillDownComponent = nullptr;
}

void TppSubReport::SetDrillDownComponent(TppComponent* value) {
  if (value == drillDownComponent) return;
  if (value && (printBehavior == pbSection || value == this)) return;
  // One subreport per drill-down component in a band.
  if (TppBand* band = Band(); value && band)
    for (int i = 0; i < band->ObjectCount(); ++i)
      if (auto* other = dynamic_cast<TppSubReport*>(band->Objects(i)); other && other != this &&
                                                                      other->drillDownComponent == value)
        other->SetDrillDownComponent(nullptr);
  if (drillDownComponent) {
    if (drillDownComponent->DrillDownSubReport() == this) drillDownComponent->SetDrillDownSubReport(nullptr);
    drillDownComponent->RemoveFreeNotification(this);
  }
  drillDownComponent = value;
  if (drillDownComponent) drillDownComponent->FreeNotification(this);
  LayoutChanged();
}

void TppSubReport::SetExpandAll(bool value) {
  if (value == expandAll) return;
  expandAll = value;
  LayoutChanged();
}

std::string TppSubReport::CurrentReportKey() const {
  const auto* holder = dynamic_cast<const TppChildReport*>(GetReport());
  return holder && holder->SubReport() ? holder->SubReport()->CurrentExpansionKey() : std::string();
}

std::string TppSubReport::CurrentExpansionKey() const {
  char number[16];
  std::snprintf(number, sizeof number, "%8d", instanceCount);
  return number + CurrentReportKey();
}

void TppSubReport::ToggleExpansion(const std::string& key, TppDrawCommand* command) {
  const auto it = std::find(expansions.begin(), expansions.end(), key);
  if (it == expansions.end()) expansions.push_back(key);
  else expansions.erase(it);
  if (command) command->SetRedrawPage(true);
  TppCustomReport* main = GetMainReport();
  if (!main) return;
  main->RegenerateFromPage(command && command->Page() ? command->Page()->AbsolutePageNo : 1);
}

bool TppSubReport::StartInstance() {
  ++instanceCount;
  const std::string key = CurrentExpansionKey();
  expanded = expandAll || std::find(expansions.begin(), expansions.end(), key) != expansions.end();
  if (expanded) return true;
  finished = true;
  SetDrawComponent(false);
  SetSpaceUsed(0);
  SetGenerationComplete(true);
  return false;
}

void TppSubReport::SetDataPipeline(TppDataPipeline* value) {
  inherited::SetDataPipeline(value);
  if (child) child->SetDataPipeline(value);
}

void TppSubReport::SetPrintBehavior(TppPrintBehaviorType value) {
  printBehavior = value;
  // Page numbering and print jobs of their own belong to sections; one
  // read from a layout follows the behaviour read before it.
  if (ComponentState().Contains(csReading) || ComponentState().Contains(csLoading)) return;
  if (value == pbSection) SetDrillDownComponent(nullptr);
  resetPageNo = value == pbSection;
  newPrintJob = newPrintJob && value == pbSection;
}

void TppSubReport::SetNewPrintJob(bool value) {
  if (value && printBehavior != pbSection) SetPrintBehavior(pbSection);
  newPrintJob = value;
}

void TppSubReport::SetChildPage(int width, int height) {
  TppPrinterSetup* setup = child->PrinterSetup();
  setup->SetUnits(utMMThousandths);
  setup->SetMarginTop(0);
  setup->SetMarginBottom(0);
  setup->SetMarginLeft(0);
  setup->SetMarginRight(0);
  setup->SetPaperWidth(width);
  setup->SetPaperHeight(std::max(height, 1));
}

void TppSubReport::InitGeneration() {
  inherited::InitGeneration();
  instanceCount = 0;
  expanded = false;
  // The drill-down component's commands expand and collapse this
  // subreport's instances (all are expanded anyway with ExpandAll).
  if (drillDownComponent)
    drillDownComponent->SetDrillDownSubReport(DrillsDown() && !expandAll ? this : nullptr);
  if (!child) return;
  BandChanged();
  // A child report's page headers and footers belong to its own pages.
  // (A section's pages are whole pages of the child: its bands print.)
  for (int i = 0; i < child->BandCount() && printBehavior == pbChild; ++i) {
    TppBand* band = child->Bands(i);
    if (band->BandTypeCode() == btHeader || band->BandTypeCode() == btFooter) band->SetVisible(false);
  }
  child->SetPassSetting(psOnePass);
  if (printBehavior == pbFixed && traverseAllData && Band()) Band()->BecomeDynamic();
  finished = true;
  childPageNo = 0;
  childRunValid = false;
  sectionState = ssNone;
}

void TppSubReport::Generate() {
  TppBand* band = Band();
  childPage = nullptr;
  if (!child || !band || !Visible()) {
    SetGenerationComplete(true);
    return;
  }
  DoOnPrint();
  if (printBehavior == pbSection) {
    GenerateSection(band);
    return;
  }
  // A band that goes on from the page before continues its instance; a new
  // one is counted, so that each instance's values are told apart.
  const bool newInstance = !band->PartialGeneration();
  if (DrillsDown() && newInstance && !StartInstance()) return;
  if (!DrillsDown() && newInstance) ++instanceCount;
  if (DrillsDown() && !expanded) {
    SetDrawComponent(false);
    SetGenerationComplete(true);
    return;
  }
  const bool continuing = !finished;
  const int top = band->StartingPosition() + (continuing ? 0 : mmTop());
  const int room = band->PageBottom() - top;
  if (room <= 0 && !band->ForceFit()) {
    SetOutOfSpace(true);
    SetGenerationComplete(false);
    return;
  }
  TppEngine& engine = child->Engine();
  if (!PrintsAsChild()) {
    GenerateFixed(band, top, room);
    return;
  }
  if (!continuing) {
    child->Reset();
    childPageNo = 1;
    firstHeight = room;
  } else {
    ++childPageNo;
    nextHeight = room;
    if (!childRunValid || engine.LivePage() != childPageNo - 1) {
      // The page before was made for another record or the state was put
      // back: the child's pages are made again in the same spaces.
      child->Reset();
      for (int page = 1; page < childPageNo; ++page) {
        SetChildPage(mmWidth(), page == 1 ? firstHeight : nextHeight);
        engine.GenerateChildPage(page);
      }
    }
  }
  SetChildPage(mmWidth(), room);
  childPage = engine.GenerateChildPage(childPageNo);
  childRunValid = true;
  finished = engine.AllPagesGenerated();
  int used = 0;
  childPage->ForEachDrawCommand([&](TppDrawCommand* c) { used = std::max(used, c->Top() + c->Height()); });
  used = std::max(used, engine.PrintPosition());
  if (finished) used = std::min(used, room);
  else used = room;
  shiftLeft = band->PrintLeft() + mmLeft();
  shiftTop = top;
  SetDrawRect(TRect{shiftLeft, top, shiftLeft + mmWidth(), top + used});
  SetSpaceUsed(used);
  SetDrawComponent(true);
  SetGenerationComplete(finished);
  if (band->ForceFit() && !finished && used <= 0) SetGenerationComplete(true);
}

void TppSubReport::GenerateFixed(TppBand* band, int top, int room) {
  // Its own height, one child page, never continued: it waits for a page
  // where it fits.
  if (mmHeight() > room && !band->ForceFit()) {
    SetOutOfSpace(true);
    SetGenerationComplete(false);
    return;
  }
  child->Reset();
  SetChildPage(mmWidth(), mmHeight());
  childPage = child->Engine().GenerateChildPage(1);
  finished = true;
  shiftLeft = band->PrintLeft() + mmLeft();
  shiftTop = top;
  SetDrawRect(TRect{shiftLeft, top, shiftLeft + mmWidth(), top + mmHeight()});
  SetSpaceUsed(std::min(mmHeight(), std::max(room, 0)));
  SetDrawComponent(true);
  SetGenerationComplete(true);
}

void TppSubReport::GenerateSection(TppBand* band) {
  TppEngine& parent = band->Report()->Engine();
  TppEngine& engine = child->Engine();
  shiftLeft = shiftTop = 0;
  if (sectionState == ssNone) {
    // A page of its own: this one only when nothing stands on it yet.
    const bool pageEmpty = parent.Page()->IsEmpty();
    parent.BeginSectionPage(pageEmpty);
    if (!pageEmpty) {
      sectionState = ssWaiting;
      SetOutOfSpace(true);
      SetGenerationComplete(false);
      return;
    }
  }
  if (sectionState != ssPrinting) {
    sectionState = ssPrinting;
    sectionStartPage = parent.AbsolutePageNo();
    if (parentPrinterSetup) child->PrinterSetup()->Assign(band->Report()->PrinterSetup());
    if (newPrintJob) parent.StartJobWithThisPage();
    child->Reset();
    childPageNo = 1;
  } else {
    ++childPageNo;
    // The parent's page state was put back: the child's pages before this
    // one are made again (unseen) first.
    if (!childRunValid || engine.LivePage() != childPageNo - 1) child->Reset();
  }
  childPage = engine.GenerateChildPage(childPageNo);
  childRunValid = true;
  finished = engine.AllPagesGenerated();
  parent.Page()->SetPrinterSetup(child->PrinterSetup());
  if (finished) parent.SetSectionPageCount(sectionStartPage, childPageNo);
  const int known = parent.SectionPageCount(sectionStartPage);
  if (resetPageNo) parent.SetSectionPageNumbers(childPage->PageNo, known > 0 ? known : childPage->PageCount);
  const TppPageDef& def = child->PrinterSetup()->PageDef();
  SetDrawRect(TRect{0, 0, def.mmWidth(), def.mmHeight()});
  SetSpaceUsed(std::max(band->PageBottom() - band->StartingPosition(), 0));
  SetDrawComponent(true);
  SetGenerationComplete(finished);
  if (finished) {
    sectionState = ssNone;
    parent.EndSectionPage(newPrintJob);
  }
}

void TppSubReport::CreateDrawCommand(TppPage* page) {
  if (!childPage) return;
  while (childPage->GetDrawCommandCount() > 0) {
    TppDrawCommand* command = childPage->GetDrawCommand(0);
    command->SetLeft(command->Left() + shiftLeft);
    command->SetTop(command->Top() + shiftTop);
    command->SetArea(page->PageDef()->mmPrintableRect());
    command->SetPage(page);
  }
  childPage = nullptr;
}

void TppSubReport::CaptureState(uint8_t* record) const {
  TStateRecord r{};
  inherited::CaptureState(r.Base);
  r.ChildPageNo = childPageNo;
  r.FirstHeight = firstHeight;
  r.NextHeight = nextHeight;
  r.Finished = finished;
  r.SectionState = sectionState;
  r.SectionStartPage = sectionStartPage;
  r.Expanded = expanded;
  r.InstanceCount = instanceCount;
  std::memcpy(record, &r, sizeof r);
}

void TppSubReport::ApplyState(const uint8_t* record) {
  TStateRecord r;
  std::memcpy(&r, record, sizeof r);
  inherited::ApplyState(r.Base);
  childPageNo = r.ChildPageNo;
  firstHeight = r.FirstHeight;
  nextHeight = r.NextHeight;
  finished = r.Finished != 0;
  sectionState = static_cast<TSectionState>(r.SectionState);
  sectionStartPage = r.SectionStartPage;
  expanded = r.Expanded != 0;
  instanceCount = r.InstanceCount;
  childRunValid = false;
}

void TppSubReport::GetChildren(const TGetChildProc& proc, TComponent* root) {
  if (child) proc(child);
}

void ppRegisterSubReportClasses() {
  RegisterClass(TppSubReport::StaticClassType());
  RegisterClass(TppChildReport::StaticClassType());
}
