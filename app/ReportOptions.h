#pragma once
// The report options: which of the five layouts, whose jobs, which printer,
// which period, and two switches, turned into the parameter list that the
// report query and the viewer read by name.
//
// The form is modal and runs through a replaceable runner, so tests answer
// it by setting its controls; the parameter list and the SQL text are made
// by plain functions of the choice, the clock's "now" and the format rules.

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "rtlDateTime.h"
#include "rtlFormatSettings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class TStrings;
class TStringList;

struct TReportLayout {
  const char* DisplayName;
  const char* ResourceName;
  const char* QueryOrder;
  // A detail layout lists every job and may hide the document column.
  bool Detail;
};

inline constexpr int ReportLayoutCount = 5;
inline constexpr TReportLayout ReportLayouts[ReportLayoutCount] = {
    {"Usage Details", "UsageDetails", "order by JobDate", true},
    {"Details By User", "DetailsByUser", "order by JobOwner, JobDate", true},
    {"Details By Printer", "DetailsByPrinter", "order by PrinterName, JobDate", true},
    {"User Summary", "UserSummary", "order by JobOwner", false},
    {"Printer Summary", "PrinterSummary", "order by PrinterName", false}};

// The combo boxes' first entry: no filter.
inline constexpr const char* AllEntries = "*** ALL ***";
inline constexpr const char* SDateFormatIs = "Date format is %s";
// How the period's dates are shown on the report.
inline constexpr const char* ReportRangeDateFormat = "mmm d, yyyy";
// How dates are written into the SQL text: the jobs table's language reads
// them so.
inline constexpr const char* SqlDateFormat = "yyyy-mm-dd";

// The radio buttons of " Date Range ", in their order.
enum class TReportPeriod { AllDates, LastMonth, LastWeek, Today, CurrentWeek, CurrentMonth, CustomRange };
inline constexpr int ReportPeriodCount = 7;
inline constexpr const char* ReportPeriodCaptions[ReportPeriodCount] = {
    "All Dates", "Last Month", "Last Week", "Today", "Current Week", "Current Month", "Custom Date Range"};

// What the user chose on the form.
struct TReportChoice {
  int Report = 0;
  // Empty: every owner, every printer.
  std::string UserName;
  std::string PrinterName;
  TReportPeriod Period = TReportPeriod::AllDates;
  // The custom edits' texts as typed.
  std::string CustomFrom;
  std::string CustomTo;
  bool HideDocumentName = false;
  bool FailedOnly = false;
};

// The parameter list of a choice, in its fixed order of names. A custom
// date that is no date raises EConvertError.
void BuildReportParameters(const TReportChoice& choice, TDateTime now, const TFormatSettings& settings,
                           TStrings& parameters);
// The query's text, one line per clause, from a parameter list.
void BuildReportSQL(const TStrings& parameters, const TFormatSettings& settings, TStrings& sql);
// The text of an SQL string literal's inside: quotes doubled.
std::string SqlQuoted(const std::string& text);
// The format rules of the user's language ($LANG), by which the form shows
// and reads dates.
TFormatSettings ReportFormatSettings();

class TReportOptions : public QDialog {
public:
  explicit TReportOptions(QWidget* owner = nullptr);

  QListWidget* ListBox1;
  QComboBox* ComboBox1;
  QComboBox* ComboBox2;
  QRadioButton* PeriodButtons[ReportPeriodCount];
  QWidget* pnlCustom;
  QLineEdit* DateFromEdit;
  QLineEdit* DateToEdit;
  QLabel* lblDateFormat;
  QCheckBox* chkHideDocument;
  QCheckBox* chkFailedOnly;
  QPushButton* btnRun;
  QPushButton* btnCancel;

  // The choice the controls show.
  TReportChoice Choice() const;
  // Radio rule: the custom panel only with "Custom Date Range".
  void PeriodChanged();
  // List rule: "Hide document name" only for the detail layouts.
  void ReportChanged();
  // What showing the form applies: both rules and the date format's label.
  void ApplyRules();

protected:
  void showEvent(QShowEvent* showing) override;

private:
  void FillCombos();
};

// Shows the options modally; answers the form. The default runner is the
// form's own modal loop.
using TReportOptionsRunner = std::function<int(TReportOptions& form)>;
// An empty runner restores the modal loop.
void SetReportOptionsRunner(TReportOptionsRunner runner);

// Shows the options; true with a new parameter list when the user ran a
// report. A custom date that is no date raises EConvertError.
bool ExecuteReportOptions(QWidget* owner, std::unique_ptr<TStringList>& parameters);
