#include "ReportOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>

#include "JobsDataModule.h"
#include "dbField.h"
#include "osLocale.h"
#include "rtlDateTimeText.h"
#include "rtlFormat.h"
#include "rtlStringList.h"
#include "osDispatcher.h"

namespace {

TReportOptionsRunner& Runner() {
  static TReportOptionsRunner runner;
  return runner;
}

// Holds the data module's lock for a scope.
class TModuleLockHeld {
public:
  explicit TModuleLockHeld(TOsCriticalSection& criticalSection) : section(criticalSection) { section.Enter(); }
  ~TModuleLockHeld() { section.Leave(); }
  TModuleLockHeld(const TModuleLockHeld&) = delete;
  TModuleLockHeld& operator=(const TModuleLockHeld&) = delete;

private:
  TOsCriticalSection& section;
};

TDateTime DayOf(TDateTime value) {
  int year, month, day;
  DecodeDate(value, year, month, day);
  return EncodeDate(year, month, day);
}

// Days since the Monday that starts value's week: a week runs Monday to
// Sunday.
int DaysSinceMonday(TDateTime value) { return (DayOfWeek(value) + 5) % 7; }

// The text of a custom date edit: every blank gone; one that holds no digit
// was left empty.
std::string CustomDateText(const QLineEdit* edit) {
  std::string text = edit->text().toStdString();
  std::erase_if(text, [](char c) { return c == ' ' || c == '_'; });
  if (std::none_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) return {};
  return text;
}

// The edits' input mask for the short date format: two digits for a day or
// a month, four for a year, the format's separators between them.
QString DateMask(const TFormatSettings& settings) {
  QString mask;
  const std::string& format = settings.ShortDateFormat;
  for (size_t i = 0; i < format.size();) {
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(format[i])));
    size_t run = 1;
    while (i + run < format.size() && std::tolower(static_cast<unsigned char>(format[i + run])) == letter) ++run;
    if (letter == 'y')
      mask += "9999";
    else if (letter == 'd' || letter == 'm')
      mask += "00";
    else if (format[i] == '/')
      mask += QChar(settings.DateSeparator);
    else
      mask += QChar(format[i]);
    i += run;
  }
  return mask + ";_";
}

}  // namespace

TFormatSettings ReportFormatSettings() { return FormatSettingsForLanguage(GetUserDefaultLangID()); }

std::string SqlQuoted(const std::string& text) {
  std::string quoted;
  quoted.reserve(text.size());
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted;
}

void BuildReportParameters(const TReportChoice& choice, TDateTime now, const TFormatSettings& settings,
                           TStrings& parameters) {
  const TReportLayout& layout = ReportLayouts[std::clamp(choice.Report, 0, ReportLayoutCount - 1)];
  parameters.Clear();
  parameters.Add(std::string("ReportTitle=") + layout.DisplayName);
  parameters.Add("ReportNO=" + std::to_string(std::clamp(choice.Report, 0, ReportLayoutCount - 1)));
  parameters.Add(std::string("QueryOrder=") + layout.QueryOrder);
  parameters.Add(std::string("ReportID=") + layout.ResourceName);
  if (!choice.UserName.empty()) parameters.Add("UserName=" + choice.UserName);
  if (!choice.PrinterName.empty()) parameters.Add("PrinterName=" + choice.PrinterName);
  parameters.Add(std::string("Printed=") + (choice.FailedOnly ? "FALSE" : "TRUE"));
  parameters.Add(std::string("HideDocumentName=") + (choice.HideDocumentName ? "TRUE" : "FALSE"));

  const TDateTime today = DayOf(now);
  auto shown = [&settings](TDateTime date) { return FormatDateTime(ReportRangeDateFormat, date, settings); };
  auto fromTo = [&](TDateTime from, TDateTime to) {
    parameters.Add("DateFrom=" + DateToStr(from, settings));
    parameters.Add("DateTo=" + DateToStr(to, settings));
    parameters.Add("DateRange=" + Format("From %s to %s", {shown(from), shown(to)}));
  };
  int year, month, day;
  DecodeDate(today, year, month, day);
  switch (choice.Period) {
    case TReportPeriod::AllDates:
      parameters.Add("DateFrom=");
      parameters.Add("DateTo=");
      parameters.Add("DateRange=" + Format("Up to %s", {shown(now)}));
      break;
    case TReportPeriod::LastMonth: {
      const int lastYear = month == 1 ? year - 1 : year;
      const int lastMonth = month == 1 ? 12 : month - 1;
      fromTo(EncodeDate(lastYear, lastMonth, 1), EncodeDate(lastYear, lastMonth, DaysInMonth(lastYear, lastMonth)));
      break;
    }
    case TReportPeriod::LastWeek: {
      const TDateTime monday = today - DaysSinceMonday(today);
      fromTo(monday - 7, monday - 1);
      break;
    }
    case TReportPeriod::Today:
      parameters.Add("DateFrom=" + DateToStr(today, settings));
      parameters.Add("DateTo=" + DateToStr(today, settings));
      parameters.Add("DateRange=" + Format("From %s", {shown(today)}));
      break;
    case TReportPeriod::CurrentWeek:
      fromTo(today - DaysSinceMonday(today), today);
      break;
    case TReportPeriod::CurrentMonth:
      fromTo(EncodeDate(year, month, 1), today);
      break;
    case TReportPeriod::CustomRange: {
      parameters.Add("DateFrom=" + choice.CustomFrom);
      parameters.Add("DateTo=" + choice.CustomTo);
      // With a date missing the query has no date condition: the report
      // covers every date, and says so.
      if (choice.CustomFrom.empty() || choice.CustomTo.empty())
        parameters.Add("DateRange=" + Format("Up to %s", {shown(now)}));
      else
        parameters.Add("DateRange=" + Format("From %s to %s", {shown(StrToDate(choice.CustomFrom, settings)),
                                                               shown(StrToDate(choice.CustomTo, settings))}));
      break;
    }
  }
}

void BuildReportSQL(const TStrings& parameters, const TFormatSettings& settings, TStrings& sql) {
  sql.Clear();
  sql.Add("select * from jobs");
  if (parameters.Values("Printed") != "TRUE")
    sql.Add("  where (JobPrinted <> TRUE)");
  else
    sql.Add("  where (JobPrinted = TRUE)");
  if (const std::string user = parameters.Values("UserName"); !user.empty())
    sql.Add(Format(" and (JobOwner = '%s')", {SqlQuoted(user)}));
  if (const std::string printer = parameters.Values("PrinterName"); !printer.empty())
    sql.Add(Format(" and (PrinterName = '%s')", {SqlQuoted(printer)}));
  const std::string from = parameters.Values("DateFrom");
  const std::string to = parameters.Values("DateTo");
  if (!from.empty() && !to.empty()) {
    auto sqlDate = [&settings](const std::string& text) {
      return FormatDateTime(SqlDateFormat, StrToDate(text, settings), settings);
    };
    sql.Add(Format(" and (JobDate between '%s' and '%s')", {sqlDate(from), sqlDate(to)}));
  }
  sql.Add(parameters.Values("QueryOrder"));
}

// ---- the form ------------------------------------------------------------------

TReportOptions::TReportOptions(QWidget* owner) : QDialog(owner) {
  setObjectName("ReportOptions");
  setWindowTitle("Report Options");
  const TFormatSettings settings = ReportFormatSettings();

  auto* layout = new QGridLayout(this);
  auto* reportsLabel = new QLabel("&Available Reports:", this);
  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName("ListBox1");
  reportsLabel->setBuddy(ListBox1);
  for (const TReportLayout& report : ReportLayouts) ListBox1->addItem(report.DisplayName);
  ListBox1->setCurrentRow(0);
  layout->addWidget(reportsLabel, 0, 0);
  layout->addWidget(ListBox1, 1, 0, 3, 1);

  auto* userLabel = new QLabel("&User:", this);
  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName("ComboBox1");
  userLabel->setBuddy(ComboBox1);
  auto* printerLabel = new QLabel("&Printer:", this);
  ComboBox2 = new QComboBox(this);
  ComboBox2->setObjectName("ComboBox2");
  printerLabel->setBuddy(ComboBox2);
  auto* filters = new QGridLayout;
  filters->addWidget(userLabel, 0, 0);
  filters->addWidget(ComboBox1, 0, 1);
  filters->addWidget(printerLabel, 1, 0);
  filters->addWidget(ComboBox2, 1, 1);
  layout->addLayout(filters, 0, 1, 2, 1);

  auto* dates = new QGroupBox(" Date Range ", this);
  auto* datesLayout = new QVBoxLayout(dates);
  for (int i = 0; i < ReportPeriodCount; ++i) {
    PeriodButtons[i] = new QRadioButton(ReportPeriodCaptions[i], dates);
    datesLayout->addWidget(PeriodButtons[i]);
    connect(PeriodButtons[i], &QRadioButton::clicked, this, [this] { PeriodChanged(); });
  }
  PeriodButtons[0]->setChecked(true);
  pnlCustom = new QWidget(dates);
  auto* customLayout = new QGridLayout(pnlCustom);
  DateFromEdit = new QLineEdit(pnlCustom);
  DateToEdit = new QLineEdit(pnlCustom);
  for (QLineEdit* edit : {DateFromEdit, DateToEdit}) {
    edit->setInputMask(DateMask(settings));
    edit->setMaxLength(10);
  }
  lblDateFormat = new QLabel(pnlCustom);
  customLayout->addWidget(new QLabel("From:", pnlCustom), 0, 0);
  customLayout->addWidget(DateFromEdit, 0, 1);
  customLayout->addWidget(new QLabel("To:", pnlCustom), 1, 0);
  customLayout->addWidget(DateToEdit, 1, 1);
  customLayout->addWidget(lblDateFormat, 2, 0, 1, 2);
  datesLayout->addWidget(pnlCustom);
  layout->addWidget(dates, 2, 1);

  chkHideDocument = new QCheckBox("Hide document name", this);
  chkFailedOnly = new QCheckBox("Print only failed reports", this);
  auto* checks = new QVBoxLayout;
  checks->addWidget(chkHideDocument);
  checks->addWidget(chkFailedOnly);
  layout->addLayout(checks, 3, 1);

  btnRun = new QPushButton("&Run", this);
  btnRun->setDefault(true);
  btnCancel = new QPushButton("Cancel", this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnRun);
  buttons->addWidget(btnCancel);
  layout->addLayout(buttons, 4, 0, 1, 2);
  connect(btnRun, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(ListBox1, &QListWidget::itemClicked, this, [this] { ReportChanged(); });
  connect(ListBox1, &QListWidget::currentRowChanged, this, [this] { ReportChanged(); });
  connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { accept(); });

  FillCombos();
}

void TReportOptions::FillCombos() {
  struct TFilter {
    QComboBox* Combo;
    TMDBQuery* Query;
    const char* Field;
  };
  TDataModule1* module = DataModule1();
  const TFilter filters[] = {{ComboBox1, module ? &module->qryUsers() : nullptr, "JobOwner"},
                             {ComboBox2, module ? &module->qryPrinters() : nullptr, "PrinterName"}};
  for (const TFilter& filter : filters) {
    filter.Combo->addItem(AllEntries);
    if (!filter.Query) continue;
    TModuleLockHeld held(module->Lock());
    filter.Query->Open();
    for (filter.Query->First(); !filter.Query->Eof(); filter.Query->Next())
      filter.Combo->addItem(QString::fromStdString(filter.Query->FieldByName(filter.Field)->AsString()));
    filter.Query->Close();
  }
  ComboBox1->setCurrentIndex(0);
  ComboBox2->setCurrentIndex(0);
}

void TReportOptions::showEvent(QShowEvent* showing) {
  ApplyRules();
  QDialog::showEvent(showing);
}

void TReportOptions::ApplyRules() {
  PeriodChanged();
  ReportChanged();
  lblDateFormat->setText(QString::fromStdString(Format(SDateFormatIs, {ReportFormatSettings().ShortDateFormat})));
}

void TReportOptions::PeriodChanged() {
  const bool custom = PeriodButtons[static_cast<int>(TReportPeriod::CustomRange)]->isChecked();
  pnlCustom->setEnabled(custom);
  for (QLineEdit* edit : {DateFromEdit, DateToEdit}) {
    if (!custom) edit->clear();
    QPalette colours = edit->palette();
    colours.setColor(QPalette::Base, palette().color(custom ? QPalette::Base : QPalette::Button));
    edit->setPalette(colours);
  }
}

void TReportOptions::ReportChanged() {
  const int row = ListBox1->currentRow();
  const bool detail = row >= 0 && row < ReportLayoutCount && ReportLayouts[row].Detail;
  if (!detail) chkHideDocument->setChecked(false);
  chkHideDocument->setEnabled(detail);
}

TReportChoice TReportOptions::Choice() const {
  TReportChoice choice;
  choice.Report = std::max(ListBox1->currentRow(), 0);
  if (ComboBox1->currentIndex() > 0) choice.UserName = ComboBox1->currentText().toStdString();
  if (ComboBox2->currentIndex() > 0) choice.PrinterName = ComboBox2->currentText().toStdString();
  for (int i = 0; i < ReportPeriodCount; ++i)
    if (PeriodButtons[i]->isChecked()) choice.Period = static_cast<TReportPeriod>(i);
  choice.CustomFrom = CustomDateText(DateFromEdit);
  choice.CustomTo = CustomDateText(DateToEdit);
  choice.HideDocumentName = chkHideDocument->isChecked();
  choice.FailedOnly = chkFailedOnly->isChecked();
  return choice;
}

void SetReportOptionsRunner(TReportOptionsRunner runner) { Runner() = std::move(runner); }

bool ExecuteReportOptions(QWidget* owner, std::unique_ptr<TStringList>& parameters) {
  TReportChoice choice;
  {
    TReportOptions form(owner);
    int result;
    if (Runner()) {
      form.ApplyRules();
      result = Runner()(form);
    } else {
      result = form.exec();
    }
    if (result != QDialog::Accepted) return false;
    choice = form.Choice();
  }
  ProcessMessages();
  auto made = std::make_unique<TStringList>();
  BuildReportParameters(choice, Now(), ReportFormatSettings(), *made);
  parameters = std::move(made);
  return true;
}
