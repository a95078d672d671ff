#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

#include "JobsDataModule.h"
#include "MonitorCommon.h"
#include "ReportOptions.h"
#include "appReportJobs.h"
#include "appTestSupport.h"
#include "dbField.h"
#include "rtlDateTimeText.h"
#include "rtlStringList.h"

namespace {

TDateTime pinnedNow = 0;
TDateTime PinnedClock() { return pinnedNow; }

// Days around the pinned "now"s, owners with a quote, two printers, and
// failed jobs.
const std::vector<TKnownJob> KnownJobs = {
    {"anna", "\\\\HOST\\Laser", 2025, 12, 31, true, 3},    {"O'Brien", "\\\\HOST\\Laser", 2026, 1, 5, true, 7},
    {"O'Brien", "\\\\HOST\\Ink", 2026, 1, 11, false, 0},   {"anna", "\\\\HOST\\Ink", 2026, 1, 12, true, 2},
    {"bert", "\\\\HOST\\Laser", 2026, 1, 14, true, 11},    {"bert", "\\\\HOST\\Laser", 2026, 1, 15, false, 1},
};

class ReportOptionsTest : public AppTest {
protected:
  TScopedEnv language{"LANG", "en_US.UTF-8"};
  TClockFunction savedClock = nullptr;

  void SetUp() override {
    AppTest::SetUp();
    savedClock = SetClock(PinnedClock);
    WriteKnownJobs(KnownJobs);
  }
  void TearDown() override {
    SetReportOptionsRunner(nullptr);
    SetClock(savedClock);
    AppTest::TearDown();
  }

  // Runs the options answered by answer; the parameter list, or none.
  std::unique_ptr<TStringList> Run(const std::function<int(TReportOptions&)>& answer) {
    SetReportOptionsRunner(answer);
    std::unique_ptr<TStringList> parameters;
    if (!ExecuteReportOptions(nullptr, parameters)) return nullptr;
    return parameters;
  }

  std::vector<std::string> Sql(const TStringList& parameters) {
    TStringList sql;
    BuildReportSQL(parameters, ReportFormatSettings(), sql);
    std::vector<std::string> lines;
    for (int i = 0; i < sql.Count(); ++i) lines.push_back(sql[i]);
    return lines;
  }

  // The JobIDs the query selects.
  std::vector<int> Selected(const TStringList& parameters) {
    TMDBQuery query(nullptr);
    query.SetDatabaseName(DataPath);
    BuildReportSQL(parameters, ReportFormatSettings(), query.SQL());
    query.Open();
    std::vector<int> ids;
    for (query.First(); !query.Eof(); query.Next()) ids.push_back(query.FieldByName("JobID")->AsInteger());
    query.Close();
    std::sort(ids.begin(), ids.end());
    return ids;
  }
};

std::string Names(const TStringList& parameters) {
  std::string names;
  for (int i = 0; i < parameters.Count(); ++i) names += (i ? "," : "") + parameters.Names(i);
  return names;
}

struct TPeriodCase {
  TDateTime Now;
  TReportPeriod Period;
  // 0: no dates.
  TDateTime From, To;
  const char* Range;
};

}  // namespace

TEST_F(ReportOptionsTest, EveryLayoutAndPeriodGivesItsParametersAndSqlWordForWord) {
  const TDateTime january = EncodeDateTime(2026, 1, 14, 10, 30, 0, 0);  // a Wednesday
  const TDateTime sunday = EncodeDateTime(2026, 3, 8, 23, 0, 0, 0);
  const TDateTime leapDay = EncodeDateTime(2024, 2, 29, 8, 0, 0, 0);  // a Thursday
  const TDateTime afterLeap = EncodeDateTime(2024, 3, 5, 8, 0, 0, 0);
  const TPeriodCase cases[] = {
      {january, TReportPeriod::AllDates, 0, 0, "Up to Jan 14, 2026"},
      {january, TReportPeriod::LastMonth, EncodeDate(2025, 12, 1), EncodeDate(2025, 12, 31),
       "From Dec 1, 2025 to Dec 31, 2025"},
      {january, TReportPeriod::LastWeek, EncodeDate(2026, 1, 5), EncodeDate(2026, 1, 11),
       "From Jan 5, 2026 to Jan 11, 2026"},
      {january, TReportPeriod::Today, EncodeDate(2026, 1, 14), EncodeDate(2026, 1, 14), "From Jan 14, 2026"},
      {january, TReportPeriod::CurrentWeek, EncodeDate(2026, 1, 12), EncodeDate(2026, 1, 14),
       "From Jan 12, 2026 to Jan 14, 2026"},
      {january, TReportPeriod::CurrentMonth, EncodeDate(2026, 1, 1), EncodeDate(2026, 1, 14),
       "From Jan 1, 2026 to Jan 14, 2026"},
      // A week is Monday to Sunday: on a Sunday the current week began six
      // days ago and last week ended a week ago, Sunday included.
      {sunday, TReportPeriod::CurrentWeek, EncodeDate(2026, 3, 2), EncodeDate(2026, 3, 8),
       "From Mar 2, 2026 to Mar 8, 2026"},
      {sunday, TReportPeriod::LastWeek, EncodeDate(2026, 2, 23), EncodeDate(2026, 3, 1),
       "From Feb 23, 2026 to Mar 1, 2026"},
      {sunday, TReportPeriod::LastMonth, EncodeDate(2026, 2, 1), EncodeDate(2026, 2, 28),
       "From Feb 1, 2026 to Feb 28, 2026"},
      {leapDay, TReportPeriod::CurrentMonth, EncodeDate(2024, 2, 1), EncodeDate(2024, 2, 29),
       "From Feb 1, 2024 to Feb 29, 2024"},
      {leapDay, TReportPeriod::CurrentWeek, EncodeDate(2024, 2, 26), EncodeDate(2024, 2, 29),
       "From Feb 26, 2024 to Feb 29, 2024"},
      {leapDay, TReportPeriod::LastWeek, EncodeDate(2024, 2, 19), EncodeDate(2024, 2, 25),
       "From Feb 19, 2024 to Feb 25, 2024"},
      {afterLeap, TReportPeriod::LastMonth, EncodeDate(2024, 2, 1), EncodeDate(2024, 2, 29),
       "From Feb 1, 2024 to Feb 29, 2024"},
  };
  const TFormatSettings settings = ReportFormatSettings();
  for (const TPeriodCase& c : cases) {
    for (int report = 0; report < ReportLayoutCount; ++report) {
      SCOPED_TRACE(std::string(ReportPeriodCaptions[static_cast<int>(c.Period)]) + " on " +
                   FormatDateTime("yyyy-mm-dd", c.Now) + ", " + ReportLayouts[report].DisplayName);
      pinnedNow = c.Now;
      auto parameters = Run([&](TReportOptions& form) {
        form.ListBox1->setCurrentRow(report);
        form.PeriodButtons[static_cast<int>(c.Period)]->click();
        return QDialog::Accepted;
      });
      ASSERT_TRUE(parameters);
      EXPECT_EQ(Names(*parameters),
                "ReportTitle,ReportNO,QueryOrder,ReportID,Printed,HideDocumentName,DateFrom,DateTo,DateRange");
      EXPECT_EQ(parameters->Values("ReportTitle"), ReportLayouts[report].DisplayName);
      EXPECT_EQ(parameters->Values("ReportNO"), std::to_string(report));
      EXPECT_EQ(parameters->Values("ReportID"), ReportLayouts[report].ResourceName);
      EXPECT_EQ(parameters->Values("Printed"), "TRUE");
      EXPECT_EQ(parameters->Values("HideDocumentName"), "FALSE");
      EXPECT_EQ(parameters->Values("DateFrom"), c.From ? DateToStr(c.From, settings) : "");
      EXPECT_EQ(parameters->Values("DateTo"), c.To ? DateToStr(c.To, settings) : "");
      EXPECT_EQ(parameters->Values("DateRange"), c.Range);
      std::vector<std::string> expected = {"select * from jobs", "  where (JobPrinted = TRUE)"};
      if (c.From)
        expected.push_back(" and (JobDate between '" + FormatDateTime("yyyy-mm-dd", c.From) + "' and '" +
                           FormatDateTime("yyyy-mm-dd", c.To) + "')");
      expected.push_back(ReportLayouts[report].QueryOrder);
      EXPECT_EQ(Sql(*parameters), expected);
    }
  }
  // The known rows of last week (Monday 5 to Sunday 11 January) that were
  // printed: the Sunday's failed job stays out, the Monday's is in.
  pinnedNow = january;
  auto lastWeek = Run([](TReportOptions& form) {
    form.PeriodButtons[static_cast<int>(TReportPeriod::LastWeek)]->click();
    return QDialog::Accepted;
  });
  EXPECT_EQ(Selected(*lastWeek), std::vector<int>({2}));
}

TEST_F(ReportOptionsTest, FiltersSwitchesAndCustomDatesBecomeConditionsTheEngineAnswers) {
  pinnedNow = EncodeDateTime(2026, 1, 20, 12, 0, 0, 0);
  // The combo boxes list every owner and printer recorded.
  std::vector<std::string> owners, printers;
  auto all = Run([&](TReportOptions& form) {
    for (int i = 0; i < form.ComboBox1->count(); ++i) owners.push_back(form.ComboBox1->itemText(i).toStdString());
    for (int i = 0; i < form.ComboBox2->count(); ++i) printers.push_back(form.ComboBox2->itemText(i).toStdString());
    return QDialog::Accepted;
  });
  EXPECT_EQ(owners, std::vector<std::string>({"*** ALL ***", "ANNA", "BERT", "O'BRIEN"}));
  EXPECT_EQ(printers, std::vector<std::string>({"*** ALL ***", "\\\\HOST\\Ink", "\\\\HOST\\Laser"}));
  EXPECT_EQ(Sql(*all), std::vector<std::string>({"select * from jobs", "  where (JobPrinted = TRUE)", "order by JobDate"}));
  EXPECT_EQ(Selected(*all), std::vector<int>({1, 2, 4, 5}));

  struct TFilterCase {
    const char* Name;
    int Report;
    std::string Owner, Printer;
    bool FailedOnly;
    std::string From, To;
    std::vector<std::string> Conditions;
    std::vector<int> Ids;
    const char* Range;
  } cases[] = {
      {"a quote in the owner's name", 1, "O'BRIEN", "", false, "", "",
       {"  where (JobPrinted = TRUE)", " and (JobOwner = 'O''BRIEN')"}, {2}, "Up to Jan 20, 2026"},
      {"failed only", 0, "", "", true, "", "", {"  where (JobPrinted <> TRUE)"}, {3, 6}, "Up to Jan 20, 2026"},
      {"owner and printer", 2, "O'BRIEN", "\\\\HOST\\Ink", true, "", "",
       {"  where (JobPrinted <> TRUE)", " and (JobOwner = 'O''BRIEN')", " and (PrinterName = '\\\\HOST\\Ink')"},
       {3},
       "Up to Jan 20, 2026"},
      {"a custom range", 3, "", "", false, "01/05/2026", "01/12/2026",
       {"  where (JobPrinted = TRUE)", " and (JobDate between '2026-01-05' and '2026-01-12')"}, {2, 4},
       "From Jan 5, 2026 to Jan 12, 2026"},
      {"only one custom date", 4, "", "", false, "01/05/2026", "", {"  where (JobPrinted = TRUE)"}, {1, 2, 4, 5},
       "Up to Jan 20, 2026"},
  };
  for (const TFilterCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto parameters = Run([&](TReportOptions& form) {
      form.ListBox1->setCurrentRow(c.Report);
      if (!c.Owner.empty()) form.ComboBox1->setCurrentText(QString::fromStdString(c.Owner));
      if (!c.Printer.empty()) form.ComboBox2->setCurrentText(QString::fromStdString(c.Printer));
      form.chkFailedOnly->setChecked(c.FailedOnly);
      if (!c.From.empty() || !c.To.empty()) {
        form.PeriodButtons[static_cast<int>(TReportPeriod::CustomRange)]->click();
        form.DateFromEdit->setText(QString::fromStdString(c.From));
        form.DateToEdit->setText(QString::fromStdString(c.To));
      }
      return QDialog::Accepted;
    });
    ASSERT_TRUE(parameters);
    std::vector<std::string> expected = {"select * from jobs"};
    expected.insert(expected.end(), c.Conditions.begin(), c.Conditions.end());
    expected.push_back(ReportLayouts[c.Report].QueryOrder);
    EXPECT_EQ(Sql(*parameters), expected);
    EXPECT_EQ(Selected(*parameters), c.Ids);
    EXPECT_EQ(parameters->Values("DateRange"), c.Range);
    EXPECT_EQ(parameters->Values("UserName"), c.Owner);
    EXPECT_EQ(parameters->Values("Printed"), c.FailedOnly ? "FALSE" : "TRUE");
  }
}

TEST_F(ReportOptionsTest, TheFormsRulesCancelAndABadCustomDate) {
  // Hide document name: only the detail layouts; a summary unchecks it.
  auto hidden = Run([](TReportOptions& form) {
    EXPECT_TRUE(form.chkHideDocument->isEnabled());
    EXPECT_FALSE(form.pnlCustom->isEnabled());
    form.chkHideDocument->setChecked(true);
    form.ListBox1->setCurrentRow(3);
    EXPECT_FALSE(form.chkHideDocument->isEnabled());
    EXPECT_FALSE(form.chkHideDocument->isChecked());
    form.ListBox1->setCurrentRow(2);
    form.chkHideDocument->setChecked(true);
    // The custom panel only with its radio button; leaving it empties the
    // edits.
    form.PeriodButtons[static_cast<int>(TReportPeriod::CustomRange)]->click();
    EXPECT_TRUE(form.pnlCustom->isEnabled());
    form.DateFromEdit->setText("01/05/2026");
    form.PeriodButtons[static_cast<int>(TReportPeriod::Today)]->click();
    EXPECT_FALSE(form.pnlCustom->isEnabled());
    EXPECT_TRUE(form.DateFromEdit->text().remove('/').isEmpty());
    return QDialog::Accepted;
  });
  ASSERT_TRUE(hidden);
  EXPECT_EQ(hidden->Values("HideDocumentName"), "TRUE");
  EXPECT_EQ(hidden->Values("ReportID"), "DetailsByPrinter");

  EXPECT_FALSE(Run([](TReportOptions&) { return QDialog::Rejected; })) << "cancelling runs nothing";

  // A custom date that is no date: the conversion fails, no list is made.
  std::unique_ptr<TStringList> parameters;
  SetReportOptionsRunner([](TReportOptions& form) {
    form.PeriodButtons[static_cast<int>(TReportPeriod::CustomRange)]->click();
    form.DateFromEdit->setText("13/45/2026");
    form.DateToEdit->setText("01/12/2026");
    return QDialog::Accepted;
  });
  EXPECT_THROW(ExecuteReportOptions(nullptr, parameters), EConvertError);
  EXPECT_FALSE(parameters);
}
