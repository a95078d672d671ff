#pragma once
// The report as a data structure: its bands (kept in sort-key order), its
// groups, its data pipeline, pass setting, page limit, no-data behaviour
// and the engine that turns it into pages. The layout objects (bands,
// groups, components) are owned by the report and stream as its children.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ppAutoSearch.h"
#include "ppPage.h"
#include "ppPrintable.h"
#include "ppProducer.h"
#include "ppTypes.h"
#include "rtlSets.h"
#include "rtlStringList.h"

class TppBand;
class TppComponent;
class TppDataPipeline;
class TppEngine;
class TppGroup;
class TppReportTemplate;


enum TppNoDataBehaviorType : uint8_t { ndMessageDialog, ndMessageOnPage, ndBlankPage, ndBlankReport };
RTL_ENUM_TYPE(TppNoDataBehaviorType, "ndMessageDialog", "ndMessageOnPage", "ndBlankPage", "ndBlankReport")
using TppNoDataBehaviors = TSet<TppNoDataBehaviorType>;

// Report events sent after their handlers.
constexpr int ppevEndColumn = 15;
constexpr int ppevEndFirstPass = 16;
constexpr int ppevEndPage = 17;
constexpr int ppevEndSecondPass = 18;
constexpr int ppevStartColumn = 19;
constexpr int ppevStartFirstPass = 20;
constexpr int ppevStartPage = 21;
constexpr int ppevStartSecondPass = 22;
constexpr int ppevNoData = 87;

class TppCustomReport : public TppProducer {
  RTL_DECLARE_CLASS(TppCustomReport, TppProducer)

  explicit TppCustomReport(TComponent* owner);
  ~TppCustomReport() override;
  void BeforeDestruction() override;

  // Bands and groups.
  int BandCount() const { return static_cast<int>(bands.size()); }
  TppBand* Bands(int index) const { return bands[static_cast<size_t>(index)]; }
  int GroupCount() const { return static_cast<int>(groups.size()); }
  TppGroup* Groups(int index) const { return groups[static_cast<size_t>(index)]; }
  int IndexOfGroup(const TppGroup* group) const;
  int IndexOfBand(const TppBand* band) const;
  // Band types 3 and 5 answer the header or footer of the group at the
  // index; others the first band of the type's class. nullptr when none.
  TppBand* GetBand(TppBandType type, int groupIndex = 0) const;
  // Called by bands and groups when their report is set.
  void AddBand(TppBand* band);
  void RemoveBand(TppBand* band);
  void AddGroup(TppGroup* group);
  void RemoveGroup(TppGroup* group);
  // Frees every attached module, band and group (and their components).
  void ClearLayout();
  // Objects attached to the report beside its bands (its code module):
  // they stream as its children and go with its layout. A module adds and
  // removes itself.
  void AddModule(TppCommunicator* module);
  void RemoveModule(TppCommunicator* module);
  int ModuleCount() const { return static_cast<int>(modules.size()); }
  TppCommunicator* Modules(int index) const { return modules[static_cast<size_t>(index)]; }
  // Set on a report a layout is read into only to see that it reads:
  // attached modules hold back their checks and warnings for the real read.
  bool LayoutTrial = false;
  // Creates the bands of the default set that are missing.
  void CreateDefaultBands();

  TppDataPipeline* DataPipeline() const { return dataPipeline; }
  void SetDataPipeline(TppDataPipeline* value);
  // Binds every object of the layout that names the pipeline (by user name)
  // to it, and the template's database settings; layouts store pipelines by
  // name.
  void FixUpDataPipeline(TppDataPipeline* pipeline);

  TppPassSettingType PassSetting() const { return passSetting; }
  void SetPassSetting(TppPassSettingType value);
  // 0: no limit.
  int PageLimit() const { return pageLimit; }
  void SetPageLimit(int value);
  TppNoDataBehaviors NoDataBehaviors() const { return noDataBehaviors; }
  void SetNoDataBehaviors(TppNoDataBehaviors value);
  int Columns() const { return columns; }
  // At least 1; the column width becomes the printable width divided by
  // the count.
  void SetColumns(int value);
  // mm-thousandths.
  int ColumnWidth() const;
  void SetColumnWidth(int value);
  // Left edges of the columns, one a line in the report's Units (empty:
  // side by side from the left margin). Held in mm-thousandths: the texts
  // are made again in the current Units on every read, and a text that is
  // not a number is refused (EConvertError) with the positions unchanged.
  TStringList* ColumnPositions() const;
  void SetColumnPositions(TStringList* value);
  const std::vector<int>& mmColumnPositions() const { return columnPositions; }
  TppUnitType Units() const { return units; }
  void SetUnits(TppUnitType value) { units = value; }
  // A main report read with this set takes its layout from its template
  // (file or record) as the read ends.
  bool SaveAsTemplate() const { return saveAsTemplate; }
  void SetSaveAsTemplate(bool value) { saveAsTemplate = value; }
  bool AutoStop() const { return autoStop; }
  void SetAutoStop(bool value) { autoStop = value; }

  TppEngine& Engine() const { return *engine; }
  TppReportTemplate& Template() const { return *reportTemplate; }
  TppReportTemplate* TemplateObject() const { return reportTemplate.get(); }
  void SetTemplate(TppReportTemplate* value);
  // The report whose band holds this one's subreport (nullptr: a report
  // of its own); linked, so that a freed parent is forgotten.
  TppCustomReport* ParentReport() const { return parentReport; }
  void SetParentReport(TppCustomReport* value);
  // Up the parent reports to the one that has none.
  TppCustomReport* MainReport();
  bool Modified() const { return modified; }
  void SetModified(bool value) { modified = value; }

  // Engine-backed values.
  int AbsolutePageNo() const;
  int AbsolutePageCount() const;
  int PageNo() const;
  int PageCount() const;
  int CurrentColumn() const;
  bool DonePrinting() const;
  // A child report generating inside its main report's run.
  bool PrintingAsSubReport() const;
  // Cancels the generation: the page being made is not delivered.
  void Stop() { StopGeneration(); }
  // The page being generated becomes the report's last.
  void PageLimitReached();
  bool FirstPass() const;
  bool SecondPass() const;
  // The layout changed: the next print starts a new run.
  void Reset();
  // What generation made from this page on is out of date (a drill-down
  // was clicked on it): the next request makes those pages again from the
  // page before, or, in a two-pass report, starts a new run.
  void RegenerateFromPage(int pageNo);

  // Objects by name: the first component of any band whose Name matches
  // exactly.
  bool FindComponentByUserName(const std::string& name, int& bandIndex, TppComponent*& component) const;
  TppCommunicator* FindUserName(const std::string& name) override;

  // The clock that gives a run its print date-time (tests pin it).
  std::function<TDateTime()> Clock;

  TppNotifyEvent OnStartPage, OnEndPage, OnStartColumn, OnEndColumn, OnStartFirstPass, OnEndFirstPass, OnStartSecondPass,
      OnEndSecondPass;
  // The no-data dialog is the dialog runner's (no object: nullptr); the
  // draw command is the page's "No Data Found" text when there is one.
  TEvent<void(TObject* sender, TObject* dialog, bool& showDialog, TObject* drawCommand, bool& addDrawCommand)>
      OnNoData;

  // Events fired by the engine.
  void DoStartPage();
  void DoEndPage();
  // A pass or column event: the handler, then its id to the listeners.
  void DoPassEvent(TppNotifyEvent& event, int eventId);
  void DoNoData(bool& showDialog, TObject* drawCommand, bool& addDrawCommand);

  void GetChildren(const TGetChildProc& proc, TComponent* root) override;
  void DefineProperties(TFiler& filer) override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

protected:
  void ServePageRequest(TppPageRequest& request) override;
  void ResetEngine() override;
  void StopGeneration() override;
  void ConvertFromVersion(int versionNo) override;

private:
  std::vector<TppBand*> bands;
  std::vector<TppGroup*> groups;
  std::vector<TppCommunicator*> modules;
  TppDataPipeline* dataPipeline = nullptr;
  TppPassSettingType passSetting;
  int pageLimit = 0;
  TppNoDataBehaviors noDataBehaviors;
  int columns = 1;
  int columnWidth = 0;  // 0: the printable width divided by the columns
  std::vector<int> columnPositions;
  // The published texts; while a layout is read they hold the stored texts
  // until the Units are known (Loaded).
  mutable TStringList columnPositionTexts;
  mutable bool rebuildingPositions = false;
  // Older layouts stored the column width in the report's units (-1: none).
  double legacyColumnWidth = -1;
  TppUnitType units = utInches;
  bool autoStop = true;
  bool saveAsTemplate = false;
  bool modified = false;
  bool clearing = false;
  TppCustomReport* parentReport = nullptr;
  std::unique_ptr<TppEngine> engine;
  std::unique_ptr<TppReportTemplate> reportTemplate;

  void SortBands();
  void ColumnPositionsChanged();
  // The texts as mm-thousandths in the current Units.
  std::vector<int> ParseColumnPositions() const;
};

// The report's auto-search events sent after their handlers.
constexpr int ppevAfterAutoSearchDialogCreate = 10;
constexpr int ppevAutoSearchDialogClose = 11;
constexpr int ppevGetAutoSearchValues = 12;
constexpr int ppevBeforeAutoSearchDialogCreate = 72;

class TppReport : public TppCustomReport {
  RTL_DECLARE_CLASS(TppReport, TppCustomReport)
  explicit TppReport(TComponent* owner);
  ~TppReport() override;
  void DefineProperties(TFiler& filer) override;
  void ConvertFromVersion(int versionNo) override;

  // With ShowAutoSearchDialog the search dialog asks first, and cancelling
  // it prints nothing; OnGetAutoSearchValues then lets the program apply
  // the criteria to its data.
  bool Print();
  bool ShowAutoSearchDialog() const { return showAutoSearchDialog; }
  void SetShowAutoSearchDialog(bool value) {
    if (!Printing()) showAutoSearchDialog = value;
  }
  // The dialog step: false when the user cancelled it. The report is
  // reset after the user confirmed new criteria.
  bool DisplayAutoSearchDialog();

  // The field belongs to the report and to the pipeline of that user name
  // (the report's own or one its owner holds).
  TppAutoSearchField* CreateAutoSearchCriteria(const std::string& dataPipelineName, const std::string& fieldName,
                                               TppSearchOperatorType searchOperator, const std::string& expression,
                                               bool mandatory);
  // The first field of that pipeline and field name (ignoring case).
  TppAutoSearchField* AutoSearchCriteriaByName(const std::string& dataPipelineName,
                                               const std::string& fieldName) const;
  int AutoSearchFieldCount() const { return static_cast<int>(autoSearchFields.size()); }
  TppAutoSearchField* AutoSearchFields(int index) const { return autoSearchFields[static_cast<size_t>(index)].get(); }
  void FreeAutoSearchField(TppAutoSearchField* field);
  // One description per field; the first field reads as the first.
  void GetAutoSearchDescriptionLines(TStrings& lines) const;
  std::string AutoSearchDescription() const;

  TppNotifyEvent BeforeAutoSearchDialogCreate, AfterAutoSearchDialogCreate, OnAutoSearchDialogClose,
      OnGetAutoSearchValues;

private:
  // Read from older layouts for their conversion.
  bool legacyLandscape = false;
  bool showAutoSearchDialog = false;
  bool inPrint = false;
  std::vector<TObjectPtr<TppAutoSearchField>> autoSearchFields;

  void FireAutoSearchEvent(TppNotifyEvent& event, int eventId);
  TppDataPipeline* FindPipeline(const std::string& userName) const;
};

// Registers the report, band, group and pipeline classes with the class
// registry, so that layouts can name them.
void ppRegisterReportClasses();
