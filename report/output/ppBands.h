#pragma once
// The bands of a report: what every band has (height, visibility, print
// height, its components) and the family of kinds below it, each telling
// the engine its kind flags and sort key. A band generates its components
// into the space the engine gives it and answers whether it printed
// completely; one that did not continues on the next page at the same
// component.
//
// Invariant: Objects are the band's children in the relative tree, in
// design order; a band belongs to at most one report's band list.

#include <functional>
#include <string>

#include <vector>

#include "ppPageRequest.h"
#include "ppPrintable.h"

class TppEngine;
class TppCustomReport;
class TppGroup;
class TppDataPipeline;
class TStringList;

enum TppPrintHeightType : uint8_t { phStatic, phDynamic };
RTL_ENUM_TYPE(TppPrintHeightType, "phStatic", "phDynamic")
enum TppColumnTraversalType : uint8_t { ctTopToBottom, ctLeftToRight };
RTL_ENUM_TYPE(TppColumnTraversalType, "ctTopToBottom", "ctLeftToRight")

// Band kinds: the engine's band-kind set holds one flag per kind.
constexpr uint16_t ppbkTitle = 1;
constexpr uint16_t ppbkSummary = 2;
constexpr uint16_t ppbkPageHeader = 4;
constexpr uint16_t ppbkPageFooter = 8;
constexpr uint16_t ppbkColumnHeader = 16;
constexpr uint16_t ppbkColumnFooter = 32;
constexpr uint16_t ppbkGroupHeader = 64;
constexpr uint16_t ppbkGroupFooter = 128;
constexpr uint16_t ppbkDetail = 256;

class TppBand : public TppCacheable {
  RTL_DECLARE_CLASS(TppBand, TppCacheable)

  explicit TppBand(TComponent* owner);
  ~TppBand() override;
  void BeforeDestruction() override;

  TppCustomReport* Report() const { return report; }
  virtual void SetReport(TppCustomReport* value);

  int mmHeight() const { return height; }
  void SetmmHeight(int value);
  int mmBottomOffset() const { return bottomOffset; }
  void SetmmBottomOffset(int value) { bottomOffset = value < 0 ? 0 : value; }
  int mmPrintPosition() const { return printPosition; }
  void SetmmPrintPosition(int value) { printPosition = value < 0 ? 0 : value; }
  TppPrintHeightType PrintHeight() const { return printHeight; }
  void SetPrintHeight(TppPrintHeightType value);
  // A component that stretches asks for it as a run starts: the run goes
  // on, so nothing is reset (SetPrintHeight would reset the report).
  void BecomeDynamic() { printHeight = phDynamic; }
  bool Visible() const { return visible; }
  void SetVisible(bool value);
  // The texts of the band that save (their own flag) go to text files.
  bool Save() const { return save; }
  void SetSave(bool value);

  int ObjectCount() const { return ChildCount(); }
  TppComponent* Objects(int index) const;
  int FindObjectByName(const std::string& name) const;

  virtual TppBandType BandTypeCode() const = 0;
  virtual uint16_t KindFlags() const = 0;
  virtual TppGroup* Group() const { return nullptr; }
  // The band's printable width: the page's printable width.
  int GetPrintableWidth() const;

  // Generation, called by the engine.
  virtual void StartOfRun();
  virtual void StartOfPage() {}
  // Prints the band at the engine's print position; false when it did not
  // print completely (it goes on at the same place on the next page).
  bool Generate(TppEngine& engine);
  // What the components work against while the band generates.
  int StartingPosition() const { return startingPosition; }
  int PageBottom() const { return pageBottom; }
  int PrintLeft() const { return printLeft; }
  bool PartialGeneration() const { return partialGeneration; }
  // On a page where nothing else can make room: components that can never
  // fit are clipped at the page bottom instead of moving on for ever.
  bool ForceFit() const { return forceFit; }
  int PrintCount() const { return printCount; }
  // While the components generate: how far down they reached, and the
  // stretchable that reached lowest (nullptr: none).
  int SpaceUsed() const { return spaceUsed; }
  TppComponent* MaxStretchable() const { return maxStretchable; }

  void CaptureState(uint8_t* record) const override;
  void ApplyState(const uint8_t* record) override;
  void SavePageState(int page) override { SaveStateRecord(page); }
  void RestorePageState(int page) override { RestoreStateRecord(page); }

  // Each handler runs, then its event id goes to the band's listeners
  // (scripts): AfterPrint 23, BeforePrint 24, AfterGenerate 25,
  // BeforeGenerate 26.
  TppNotifyEvent BeforePrint, AfterPrint, BeforeGenerate, AfterGenerate;

  void GetChildren(const TGetChildProc& proc, TComponent* root) override;
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* value) override;
  bool HasParent() const override { return true; }
  void Loaded() override;
  void DefineProperties(TFiler& filer) override;
  // A layout stored by an older version (see the report's conversion).
  virtual void ConvertFromVersion(int versionNo);

protected:
  // False when the band does not print on this page (page bands on a page
  // they skip, for example).
  virtual bool PrintsOnThisPage(TppEngine& engine) { return true; }
  // Where the band starts: the engine's print position unless the kind is
  // placed elsewhere (footers against the page bottom).
  virtual int PlacementTop(TppEngine& engine, int start) { return start; }
  virtual void AfterComplete(TppEngine& engine) {}
  // The extra bytes of a kind's page-state record (at most 8).
  virtual void CaptureKindState(uint8_t* extra) const {}
  virtual void ApplyKindState(const uint8_t* extra) {}
  // Asks the report to rebuild its layout state.
  void LayoutChanged();

private:
  struct TStateRecord {
    uint8_t PartialGeneration, ForceFit, Reserved[2];
    int32_t PrintCount;
    uint8_t Kind[8];
  };

  TppCustomReport* report = nullptr;
  int height = 0;
  int bottomOffset = 0;
  int printPosition = 0;
  TppPrintHeightType printHeight = phStatic;
  bool visible = true;
  bool save = false;

  int startingPosition = 0;
  int pageBottom = 0;
  int printLeft = 0;
  int spaceUsed = 0;
  int printCount = 0;
  bool partialGeneration = false;
  bool forceFit = false;
  TppComponent* maxStretchable = nullptr;
  // The handler an older layout named for OnPrint (BeforePrint now).
  std::string legacyOnPrint;

  bool PrintComponents(TppPage* page);
};

class TppPageBand : public TppBand {
  RTL_DECLARE_CLASS(TppPageBand, TppBand)
  using TppBand::TppBand;

  bool PrintOnFirstPage() const { return printOnFirstPage; }
  void SetPrintOnFirstPage(bool value);
  bool PrintOnLastPage() const { return printOnLastPage; }
  void SetPrintOnLastPage(bool value);
  // Whether it prints on the engine's current page as far as is known.
  bool PrintsOn(const TppEngine& engine) const;

protected:
  bool PrintsOnThisPage(TppEngine& engine) override { return PrintsOn(engine); }

private:
  bool printOnFirstPage = true;
  bool printOnLastPage = true;
};

class TppHeaderBand : public TppPageBand {
  RTL_DECLARE_CLASS(TppHeaderBand, TppPageBand)
  using TppPageBand::TppPageBand;
  TppBandType BandTypeCode() const override { return btHeader; }
  uint16_t KindFlags() const override { return ppbkPageHeader; }
  std::string GetSortKey() const override;
};

class TppFooterBand : public TppPageBand {
  RTL_DECLARE_CLASS(TppFooterBand, TppPageBand)
  using TppPageBand::TppPageBand;
  TppBandType BandTypeCode() const override { return btFooter; }
  uint16_t KindFlags() const override { return ppbkPageFooter; }
  std::string GetSortKey() const override;

protected:
  int PlacementTop(TppEngine& engine, int start) override;
};

class TppReportBand : public TppBand {
  RTL_DECLARE_CLASS(TppReportBand, TppBand)
  using TppBand::TppBand;

  bool NewPage() const { return newPage; }
  void SetNewPage(bool value) { newPage = value; }

private:
  bool newPage = false;
};

class TppTitleBand : public TppReportBand {
  RTL_DECLARE_CLASS(TppTitleBand, TppReportBand)
  using TppReportBand::TppReportBand;
  TppBandType BandTypeCode() const override { return btTitle; }
  uint16_t KindFlags() const override { return ppbkTitle; }
  std::string GetSortKey() const override;
};

class TppSummaryBand : public TppReportBand {
  RTL_DECLARE_CLASS(TppSummaryBand, TppReportBand)
  using TppReportBand::TppReportBand;
  TppBandType BandTypeCode() const override { return btSummary; }
  uint16_t KindFlags() const override { return ppbkSummary; }
  std::string GetSortKey() const override;
};

class TppColumnHeaderBand : public TppBand {
  RTL_DECLARE_CLASS(TppColumnHeaderBand, TppBand)
  using TppBand::TppBand;
  TppBandType BandTypeCode() const override { return btColumnHeader; }
  uint16_t KindFlags() const override { return ppbkColumnHeader; }
  std::string GetSortKey() const override;
};

class TppColumnFooterBand : public TppBand {
  RTL_DECLARE_CLASS(TppColumnFooterBand, TppBand)
  using TppBand::TppBand;
  TppBandType BandTypeCode() const override { return btColumnFooter; }
  uint16_t KindFlags() const override { return ppbkColumnFooter; }
  std::string GetSortKey() const override;

protected:
  // At the bottom of the column, above the page footers.
  int PlacementTop(TppEngine& engine, int start) override;
};

class TppDetailBand : public TppBand {
  RTL_DECLARE_CLASS(TppDetailBand, TppBand)
  using TppBand::TppBand;
  TppBandType BandTypeCode() const override { return btDetail; }
  uint16_t KindFlags() const override { return ppbkDetail; }
  std::string GetSortKey() const override;

  int BandsPerRecord() const { return bandsPerRecord; }
  // At least 1.
  void SetBandsPerRecord(int value) { bandsPerRecord = value < 1 ? 1 : value; }
  TppColumnTraversalType ColumnTraversal() const { return columnTraversal; }
  void SetColumnTraversal(TppColumnTraversalType value) { columnTraversal = value; }
  // Which of the record's bands prints next (1 .. BandsPerRecord).
  int BandsPerRecordCount() const { return bandsPerRecordCount; }
  void SetBandsPerRecordCount(int value) { bandsPerRecordCount = value; }
  void StartOfRun() override;
  // A pipeline of the detail band's own (a detail of the report's): its
  // records print for each record of the report's pipeline.
  TppDataPipeline* DataPipeline() const { return dataPipeline; }
  void SetDataPipeline(TppDataPipeline* value);
  void Notify(TppCommunicator* sender, int operation) override;

protected:
  void CaptureKindState(uint8_t* extra) const override;
  void ApplyKindState(const uint8_t* extra) override;

  void DefineProperties(TFiler& filer) override;

private:
  TppDataPipeline* dataPipeline = nullptr;
  int bandsPerRecord = 1;
  int bandsPerRecordCount = 1;
  TppColumnTraversalType columnTraversal = ctTopToBottom;
};

class TppGroupBand : public TppBand {
  RTL_DECLARE_CLASS(TppGroupBand, TppBand)
  using TppBand::TppBand;
  ~TppGroupBand() override;
  TppGroup* Group() const override { return group; }
  void SetGroup(TppGroup* value) { group = value; }
  // The kind's caption, the group's index and what the group breaks on.
  std::string GetDescription() const;
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* value) override;

private:
  TppGroup* group = nullptr;
};

class TppGroupHeaderBand : public TppGroupBand {
  RTL_DECLARE_CLASS(TppGroupHeaderBand, TppGroupBand)
  using TppGroupBand::TppGroupBand;
  TppBandType BandTypeCode() const override { return btGroupHeader; }
  uint16_t KindFlags() const override;
  std::string GetSortKey() const override;
};

class TppGroupFooterBand : public TppGroupBand {
  RTL_DECLARE_CLASS(TppGroupFooterBand, TppGroupBand)
  using TppGroupBand::TppGroupBand;
  TppBandType BandTypeCode() const override { return btGroupFooter; }
  uint16_t KindFlags() const override { return ppbkGroupFooter; }
  std::string GetSortKey() const override;
};

class TppPageStyle : public TppBand {
  RTL_DECLARE_CLASS(TppPageStyle, TppBand)
  using TppBand::TppBand;
  TppBandType BandTypeCode() const override { return btPageStyle; }
  uint16_t KindFlags() const override { return ppbkPageHeader; }
  std::string GetSortKey() const override;

  TppPageSettingType PageSetting() const { return pageSetting; }
  void SetPageSetting(TppPageSettingType value) { pageSetting = value; }
  const std::string& ValidPages() const { return validPages; }
  // Also sets PageSetting to psPageList.
  void SetValidPages(const std::string& value);
  int SinglePage() const { return singlePage; }
  void SetSinglePage(int value) { singlePage = value; }
  int StartPage() const { return startPage; }
  void SetStartPage(int value) { startPage = value; }
  int EndPage() const { return endPage; }
  void SetEndPage(int value) { endPage = value; }

protected:
  bool PrintsOnThisPage(TppEngine& engine) override;
  int PlacementTop(TppEngine& engine, int start) override;

private:
  TppPageSettingType pageSetting = psAll;
  std::string validPages;
  std::vector<int> pageList;
  int singlePage = 0, startPage = 0, endPage = 0;
};

// Registers the band classes with the class registry (for layouts).
void ppRegisterBandClasses();
