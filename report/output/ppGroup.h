#pragma once
// A group of a report: a break over a pipeline field, with its own header
// and footer bands. The engine asks it whether the next record breaks it;
// it remembers the page on which its current break began.
//
// Invariant: a group owns exactly one header and one footer band, and both
// name this group.

#include <functional>
#include <map>
#include <string>

#include "ppCache.h"
#include "ppPrintable.h"

class TppCustomReport;
class TppDataPipeline;
class TppGroupHeaderBand;
class TppGroupFooterBand;
class TppBand;

// What a group breaks on: a field of its pipeline, or the text of a
// component of the report named by the break name.
enum TppBreakType : uint8_t { btDataField, btCustomField };
RTL_ENUM_TYPE(TppBreakType, "btDataField", "btCustomField")

// Sent before a group's header and before its footer print.
constexpr int ppevBeforeGroupHeader = 29;
constexpr int ppevBeforeGroupFooter = 30;

class TppGroup : public TppCacheable {
  RTL_DECLARE_CLASS(TppGroup, TppCacheable)

  explicit TppGroup(TComponent* owner);
  ~TppGroup() override;
  void BeforeDestruction() override;

  TppCustomReport* Report() const { return report; }
  void SetReport(TppCustomReport* value);
  // Position in the report's group list; -1 without report.
  int GroupNo() const;

  const std::string& BreakName() const { return breakName; }
  void SetBreakName(const std::string& value);
  TppBreakType BreakType() const { return breakType; }
  // Refused while the report prints: the running break values would mix kinds.
  void SetBreakType(TppBreakType value);
  // The component whose text a custom-field group breaks on; nullptr for a
  // data-field group or when no component has the break name.
  TppPrintable* BreakComponent() const;
  bool HeaderForOrphanedFooter() const { return headerForOrphanedFooter; }
  void SetHeaderForOrphanedFooter(bool value) { headerForOrphanedFooter = value; }
  TppDataPipeline* DataPipeline() const;
  void SetDataPipeline(TppDataPipeline* value) { dataPipeline = value; }
  // Mutually exclusive with KeepTogether. With NewColumn too, a break
  // starts a new column rather than a new page (reports of two or more
  // columns).
  bool NewPage() const { return newPage; }
  void SetNewPage(bool value);
  bool NewColumn() const { return newColumn; }
  void SetNewColumn(bool value);
  bool KeepTogether() const { return keepTogether; }
  void SetKeepTogether(bool value);
  bool ReprintOnSubsequentPage() const { return reprintOnSubsequentPage; }
  void SetReprintOnSubsequentPage(bool value) { reprintOnSubsequentPage = value; }
  // In a report of two or more columns (down, not across), the header of a
  // group that goes on in a later column or on a later page prints again at
  // the top of that column, below the column headers.
  bool ReprintOnSubsequentColumn() const { return reprintOnSubsequentColumn; }
  void SetReprintOnSubsequentColumn(bool value) { reprintOnSubsequentColumn = value; }
  // Space (mm-thousandths) that must be left on the page for the header to
  // start there; else the group starts on a new page.
  int mmNewPageThreshold() const { return newPageThreshold; }
  void SetmmNewPageThreshold(int value) { newPageThreshold = value < 0 ? 0 : value; }
  // The same for a column (reports of two or more columns).
  int mmNewColumnThreshold() const { return newColumnThreshold; }
  void SetmmNewColumnThreshold(int value) { newColumnThreshold = value < 0 ? 0 : value; }
  bool ResetPageNo() const { return resetPageNo; }
  void SetResetPageNo(bool value) { resetPageNo = value; }

  TppGroupHeaderBand* HeaderBand() const { return header; }
  TppGroupFooterBand* FooterBand() const { return footer; }

  // Generation.
  std::string GetBreakValue();
  // The value of the group being printed, of the one before it, and of the
  // record the pipeline stands on.
  const std::string& BreakValue() const { return breakValue; }
  const std::string& PriorValue() const { return priorValue; }
  std::string CurrentValue();
  // From the record that changes the value until the new header printed.
  bool Breaking() const { return breaking; }
  void SetBreaking(bool value) { breaking = value; }
  // The group did not fit and was moved to a new page once.
  bool KeptTogether() const { return keptTogether; }
  void SetKeptTogether(bool value) { keptTogether = value; }
  int FirstColumn() const { return headerColumn; }
  // The absolute page the group ends on: known once its footer printed
  // (in a two-pass report, from the first pass on), else the page so far.
  int LastPageNo() const;
  int PageCount() const { return LastPageNo() - firstPageNo + 1; }
  bool FirstPage() const;
  std::string GetDescription() const;
  void DoBeforeHeader() { SendEventNotify(this, ppevBeforeGroupHeader, nullptr); }
  void DoBeforeFooter() { SendEventNotify(this, ppevBeforeGroupFooter, nullptr); }
  // The value of the record the pipeline stands on differs from the break
  // value (or the pipeline is empty).
  bool ValueChanged();
  void ResetBreak();
  // The header of a new break: the break value follows the current record.
  void StartBreak();
  void FooterPrinted();
  // The header printed on the page, in the column: the group's pages
  // start there.
  void HeaderPrinted(int absolutePageNo, int column) {
    firstPageNo = absolutePageNo;
    headerColumn = column;
    headerBreakNo = breakNo;
  }
  // The column starting is one after the header's (on its page or later).
  bool ReprintsInColumn(int absolutePageNo, int column) const {
    return reprintOnSubsequentColumn &&
           (absolutePageNo > firstPageNo || (absolutePageNo == firstPageNo && column > headerColumn));
  }
  // The break whose header printed last: the pages up to the next header
  // belong to it.
  int HeaderBreakNo() const { return headerBreakNo; }
  // After the pipeline was put back to a page's position.
  void SyncBreakValue() { breakValue = GetBreakValue(); }
  bool HeaderPending() const { return headerPending; }
  void SetHeaderPending(bool value) { headerPending = value; }
  bool AlreadyPageBreak() const { return alreadyPageBreak; }
  void SetAlreadyPageBreak(bool value) { alreadyPageBreak = value; }
  int BreakNo() const { return breakNo; }
  int FirstPageNo() const { return firstPageNo; }
  // Page number within the group's pages.
  int PageNo(int absolutePageNo) const { return absolutePageNo - firstPageNo + 1; }

  void CaptureState(uint8_t* record) const override;
  void ApplyState(const uint8_t* record) override;
  void SavePageState(int page) override;
  void RestorePageState(int page) override;
  void TruncateFrom(int page) override;

  // Each handler runs, then its event id goes to the group's listeners
  // (scripts): 28 before a break, 27 after it, and 31 with the break value
  // as the one parameter, which a listener may change.
  TppNotifyEvent BeforeGroupBreak, AfterGroupBreak;
  TEvent<void(TObject* sender, std::string& breakValue)> OnGetBreakValue;

  void DefineProperties(TFiler& filer) override;
  // A layout stored by an older version (see the report's conversion).
  void ConvertFromVersion(int versionNo);

  void GetChildren(const TGetChildProc& proc, TComponent* root) override;
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* value) override;
  bool HasParent() const override { return true; }
  // A band of the group read from a layout takes its place.
  void AttachBand(TppBand* band);
  // A band of the group being destroyed.
  void DetachBand(const TppBand* band);

private:
  // The break value always equals the value of the record the pipeline
  // stands on, so the page state need not hold it (SyncBreakValue).
  struct TStateRecord {
    uint8_t HeaderPending, AlreadyPageBreak, Breaking, KeptTogether;
    int32_t BreakNo, FirstPageNo, HeaderBreakNo, HeaderColumn;
  };

  TppCustomReport* report = nullptr;
  TppDataPipeline* dataPipeline = nullptr;
  std::string breakName;
  bool newPage = false;
  bool newColumn = false;
  bool keepTogether = false;
  bool reprintOnSubsequentPage = true;
  bool reprintOnSubsequentColumn = true;
  bool resetPageNo = false;
  int newPageThreshold = 0;
  int newColumnThreshold = 0;
  // Read from older layouts for their conversion.
  std::string legacyFieldName;
  bool legacyReprint = false;
  double legacyThreshold = 0;
  TppGroupHeaderBand* header = nullptr;
  TppGroupFooterBand* footer = nullptr;

  std::string breakValue;
  std::string priorValue;
  // The prior value of each page's state: a text has no place in the
  // fixed-size record, and a regenerated page must not show a later one.
  std::map<int, std::string> pagePriorValues;
  TppBreakType breakType = btDataField;
  bool headerForOrphanedFooter = true;
  bool breaking = false;
  bool keptTogether = false;
  bool gettingValue = false;
  bool headerPending = false;
  bool alreadyPageBreak = false;
  int breakNo = 0;
  int firstPageNo = 1;
  int headerColumn = 1;
  int headerBreakNo = 0;
};
