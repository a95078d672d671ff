#include "ppASDlg.h"

#include <QEvent>
#include <QPainter>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "ppDataPipeline.h"
#include "ppMessages.h"
#include "ppReport.h"
#include "rtlStrUtils.h"

namespace {

constexpr int tabRowHeight = 28, pageMargin = 20;

// A 5 x 7 dot: the mandatory mark (black) and the error mark (red).
QLabel* Dot(QWidget* parent, const char* name, Qt::GlobalColor color) {
  QPixmap pixmap(5, 7);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(color);
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(0, 1, 5, 5);
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setPixmap(pixmap);
  label->resize(5, 7);
  return label;
}

QLabel* Label(QWidget* parent, const char* name, const std::string& text, int left, int top) {
  auto* label = new QLabel(QString::fromStdString(text), parent);
  label->setObjectName(name);
  label->adjustSize();
  label->move(left, top);
  return label;
}

QIcon ErrorBullet() {
  QPixmap pixmap(5, 5);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setBrush(Qt::red);
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(0, 0, 5, 5);
  return QIcon(pixmap);
}

}  // namespace

// ---- panels ----

TppAutoSearchPanel::TppAutoSearchPanel(QWidget* parent, TppAutoSearchField& field, bool firstInContainer)
    : QFrame(parent), field(field), first(firstInContainer) {}

void TppAutoSearchPanel::CreateControls() {
  lblLead = Label(this, "lblLead", ppLoadMessage(first ? 54 : 55), 8, 29);
  lblFieldName = Label(this, "lblFieldName", field.FieldAlias(), lblLead->x() + lblLead->width() + 5, 29);
  QPalette blue = lblFieldName->palette();
  blue.setColor(QPalette::WindowText, Qt::blue);
  lblFieldName->setPalette(blue);
  std::string caption = field.OperatorCaption();
  if (field.SearchOperator() == soBlank || field.SearchOperator() == soNotBlank) caption += ".";
  lblOperator = Label(this, "lblOperator", caption, lblFieldName->x() + lblFieldName->width() + 5, 29);
  shpError = Dot(this, "shpError", Qt::red);
  shpError->hide();
  lblError = Label(this, "lblError", "", 0, 10);
  QPalette red = lblError->palette();
  red.setColor(QPalette::WindowText, Qt::red);
  lblError->setPalette(red);
  lblError->hide();
  shpMandatory = Dot(this, "shpMandatory", Qt::black);
  shpMandatory->setVisible(field.Mandatory());
  cbxShowAll = new QCheckBox(this);
  cbxShowAll->setObjectName("cbxShowAll");
  cbxShowAll->setText(QString::fromStdString(ppFormatMessage(1033, {field.FieldAlias()})));
  cbxShowAll->setVisible(!field.Mandatory());
  cbxShowAll->setChecked(!field.Mandatory() && field.ShowAllValues());
  connect(cbxShowAll, &QCheckBox::clicked, this, [this] { ApplyShowAll(); });
  ApplyShowAll();
}

int TppAutoSearchPanel::EntryLeft() const { return lblOperator->x() + lblOperator->width() + 5; }

int TppAutoSearchPanel::GetWidth() const {
  int right = 0;
  for (const QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (!child->isHidden()) right = std::max(right, child->x() + child->width());
  return right + 10;
}

void TppAutoSearchPanel::ApplyShowAll() {
  const bool all = cbxShowAll->isChecked();
  for (QLabel* caption : {lblLead, lblFieldName, lblOperator}) caption->setEnabled(!all);
}

void TppAutoSearchPanel::WatchEntry(QWidget* entry) { entry->installEventFilter(this); }

bool TppAutoSearchPanel::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::MouseButtonPress && cbxShowAll->isChecked()) {
    cbxShowAll->setChecked(false);
    ApplyShowAll();
  }
  return QFrame::eventFilter(watched, e);
}

void TppAutoSearchPanel::ShowError(const std::string& text, QWidget* entry) {
  const bool failed = !text.empty();
  lblError->setText(QString::fromStdString(text));
  lblError->adjustSize();
  lblError->move(entry->x(), std::max(0, entry->y() - lblError->height() - 1));
  shpError->move(entry->x() + entry->width() + 3, entry->y() + (entry->height() - 7) / 2);
  lblError->setVisible(failed);
  shpError->setVisible(failed);
}

std::string TppAutoSearchPanel::Expression() const {
  std::string text;
  for (const std::string& entry : Entries()) text += (text.empty() ? "" : ",") + entry;
  return text;
}

bool TppAutoSearchPanel::Valid() {
  QWidget* entry = FirstEntry();
  const std::vector<std::string> entries = Entries();
  const bool empty = std::all_of(entries.begin(), entries.end(), [](const std::string& e) { return Trim(e).empty(); });
  const bool noEntry = field.SearchOperator() == soBlank || field.SearchOperator() == soNotBlank;
  std::string error;
  if (field.Mandatory() && empty && !noEntry) {
    error = ppLoadMessage(61);
  } else if (!cbxShowAll->isChecked()) {
    // An empty entry of a field that is not mandatory passes, whatever
    // its type.
    for (const std::string& value : entries)
      if (!Trim(value).empty() && !ppCheckSearchEntry(field.DataType(), value, error)) break;
  }
  ShowError(error, entry);
  return error.empty();
}

void TppAutoSearchPanel::Apply() {
  field.SetSearchExpression(Expression());
  field.SetShowAllValues(cbxShowAll->isChecked());
}

void TppSimpleSearchPanel::CreateControls() {
  TppAutoSearchPanel::CreateControls();
  edtValue = new QLineEdit(QString::fromStdString(Field().SearchExpression()), this);
  edtValue->setObjectName("edtValue");
  edtValue->setGeometry(EntryLeft(), 26, 273, 21);
  edtValue->setHidden(Field().SearchOperator() == soBlank || Field().SearchOperator() == soNotBlank);
  shpMandatory->move(edtValue->x() + edtValue->width() + 3, 33);
  cbxShowAll->setGeometry(edtValue->x(), 50, 273, 17);
  WatchEntry(edtValue);
  resize(GetWidth(), GetHeight());
}

std::vector<std::string> TppSimpleSearchPanel::Entries() const {
  return {edtValue->isHidden() ? std::string() : edtValue->text().toStdString()};
}

void TppBetweenSearchPanel::CreateControls() {
  TppAutoSearchPanel::CreateControls();
  const std::vector<std::string> values = ppSplitSearchExpression(Field().SearchExpression());
  edtFrom = new QLineEdit(values.size() > 0 ? QString::fromStdString(values[0]) : QString(), this);
  edtFrom->setObjectName("edtFrom");
  edtFrom->setGeometry(EntryLeft(), 26, 150, 21);
  lblAnd = Label(this, "lblAnd", ppLoadMessage(62), edtFrom->x() + 150 + 10, 29);
  edtTo = new QLineEdit(values.size() > 1 ? QString::fromStdString(values[1]) : QString(), this);
  edtTo->setObjectName("edtTo");
  edtTo->setGeometry(lblAnd->x() + lblAnd->width() + 10, 26, 150, 21);
  shpMandatory->move(edtTo->x() + 153, 33);
  cbxShowAll->setGeometry(edtFrom->x(), 50, edtTo->x() + 150 - edtFrom->x(), 17);
  WatchEntry(edtFrom);
  WatchEntry(edtTo);
  resize(GetWidth(), GetHeight());
}

std::vector<std::string> TppBetweenSearchPanel::Entries() const {
  return {edtFrom->text().toStdString(), edtTo->text().toStdString()};
}

void TppInListSearchPanel::CreateControls() {
  TppAutoSearchPanel::CreateControls();
  edtValue = new QLineEdit(this);
  edtValue->setObjectName("edtValue");
  edtValue->setGeometry(8, 53, 200, 21);
  lbxValues = new QListWidget(this);
  lbxValues->setObjectName("lbxValues");
  const int listLeft = std::max(EntryLeft(), edtValue->x() + edtValue->width() + 15);
  lbxValues->setGeometry(listLeft, 26, 200, 131);
  for (const std::string& value : ppSplitSearchExpression(Field().SearchExpression()))
    lbxValues->addItem(QString::fromStdString(value));
  btnAdd = new QPushButton(QString::fromStdString(ppLoadMessage(63)), this);
  btnAdd->setObjectName("btnAdd");
  btnAdd->setGeometry(listLeft + 200 + 15, 53, std::max(95, btnAdd->sizeHint().width()), 25);
  btnRemove = new QPushButton(QString::fromStdString(ppLoadMessage(64)), this);
  btnRemove->setObjectName("btnRemove");
  btnRemove->setGeometry(listLeft + 200 + 15, 85, std::max(95, btnRemove->sizeHint().width()), 25);
  shpMandatory->move(listLeft + 203, 33);
  cbxShowAll->setGeometry(listLeft, 160, 300, 17);
  connect(btnAdd, &QPushButton::clicked, this, [this] { AddClick(); });
  connect(btnRemove, &QPushButton::clicked, this, [this] { RemoveClick(); });
  WatchEntry(edtValue);
  WatchEntry(lbxValues);
  resize(GetWidth(), GetHeight());
}

void TppInListSearchPanel::AddClick() {
  const std::string value = Trim(edtValue->text().toStdString());
  std::string error;
  if (!value.empty() && !ppCheckSearchEntry(Field().DataType(), value, error)) {
    ShowError(error, edtValue);
    return;
  }
  ShowError("", edtValue);
  if (!value.empty() && lbxValues->findItems(QString::fromStdString(value), Qt::MatchExactly).isEmpty()) {
    lbxValues->addItem(QString::fromStdString(value));
    lbxValues->setCurrentRow(lbxValues->count() - 1);
  }
  edtValue->clear();
  edtValue->setFocus();
}

void TppInListSearchPanel::RemoveClick() {
  const int row = lbxValues->currentRow();
  if (row < 0 || lbxValues->selectedItems().isEmpty()) return;
  delete lbxValues->takeItem(row);
  if (lbxValues->count() > 0) lbxValues->setCurrentRow(std::min(row, lbxValues->count() - 1));
}

std::vector<std::string> TppInListSearchPanel::Entries() const {
  std::vector<std::string> values;
  for (int i = 0; i < lbxValues->count(); ++i) values.push_back(lbxValues->item(i)->text().toStdString());
  return values;
}

// ---- the dialog ----

QIcon ppAutoSearchIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  // Rows of data under a magnifying glass.
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::white);
  painter.drawRect(1, 3, 22, 22);
  painter.setPen(QPen(QColor(0, 0, 128), 2));
  for (int y = 8; y <= 20; y += 4) painter.drawLine(4, y, 20, y);
  painter.setPen(QPen(Qt::black, 2));
  painter.setBrush(QColor(255, 255, 200, 210));
  painter.drawEllipse(QPoint(19, 17), 7, 7);
  painter.setPen(QPen(QColor(96, 64, 0), 4, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(24, 22, 30, 29);
  painter.end();
  return QIcon(pixmap);
}

TppAutoSearchDialog::TppAutoSearchDialog(QWidget* owner) : TppCustomAutoSearchDialog(owner) {
  setObjectName(FormName);
  setWindowIcon(ppAutoSearchIcon());
  resize(532, 500);
  pnlBottom = new QWidget(this);
  pnlBottom->setObjectName("pnlBottom");
  shpMandatory = Dot(pnlBottom, "shpMandatory", Qt::black);
  shpMandatory->move(12, 15);
  lblMandatory = Label(pnlBottom, "lblMandatory", "", 21, 12);
  btnOK = new QPushButton(pnlBottom);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  btnCancel = new QPushButton(pnlBottom);
  btnCancel->setObjectName("btnCancel");
  connect(btnOK, &QPushButton::clicked, this, [this] { OKClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { SetModalResult(ppmrCancel); });
  LanguageChanged();
}

void TppAutoSearchDialog::LanguageChanged() {
  setWindowTitle(QString::fromStdString(ppLoadMessage(65)));
  lblMandatory->setText(QString::fromStdString(ppLoadMessage(66)));
  lblMandatory->adjustSize();
  btnOK->setText(QString::fromStdString(ppLoadMessage(17)));
  btnCancel->setText(QString::fromStdString(ppLoadMessage(5)));
}

void TppAutoSearchDialog::Init() {
  if (built) return;
  built = true;
  // The pipelines in their order in the report's owner, the report's own
  // first.
  auto* report = dynamic_cast<TppReport*>(Report());
  std::vector<std::string> pipelines;
  for (TppAutoSearchField* field : AutoSearchFields)
    if (std::find(pipelines.begin(), pipelines.end(), field->DataPipelineName()) == pipelines.end())
      pipelines.push_back(field->DataPipelineName());
  auto rank = [&](const std::string& name) {
    if (!report) return 0;
    if (report->DataPipeline() && SameText(report->DataPipeline()->GetUserName(), name)) return -1;
    if (TComponent* owner = report->Owner())
      for (int i = 0; i < owner->ComponentCount(); ++i)
        if (auto* p = dynamic_cast<TppDataPipeline*>(owner->Components(i)); p && SameText(p->GetUserName(), name))
          return i;
    return std::numeric_limits<int>::max();
  };
  std::stable_sort(pipelines.begin(), pipelines.end(),
                   [&](const std::string& a, const std::string& b) { return rank(a) < rank(b); });

  std::vector<QWidget*> containers;
  if (pipelines.size() > 1) {
    tabs = new QTabWidget(this);
    tabs->setObjectName("pgcAutoSearch");
    for (const std::string& name : pipelines) {
      auto* box = new QScrollArea;
      box->setFrameShape(QFrame::NoFrame);
      auto* container = new QWidget;
      box->setWidget(container);
      box->setWidgetResizable(true);
      tabs->addTab(box, QString::fromStdString(name));
      containers.push_back(container);
    }
    if (report && report->ComponentState().Contains(csDesigning)) MakeTabMenu();
  } else {
    single = new QScrollArea(this);
    single->setFrameShape(QFrame::NoFrame);
    single->setWidgetResizable(true);
    containers.push_back(new QWidget);
    single->setWidget(containers.back());
  }
  std::vector<int> widths(containers.size(), 0), heights(containers.size(), 0);
  bool anyMandatory = false;
  for (TppAutoSearchField* field : AutoSearchFields) {
    const int index = static_cast<int>(std::find(pipelines.begin(), pipelines.end(), field->DataPipelineName()) -
                                       pipelines.begin());
    QWidget* container = containers[static_cast<size_t>(index)];
    const bool first = heights[static_cast<size_t>(index)] == 0;
    TppAutoSearchPanel* panel;
    switch (field->SearchOperator()) {
      case soBetween:
      case soNotBetween: panel = new TppBetweenSearchPanel(container, *field, first); break;
      case soInList:
      case soNotInList: panel = new TppInListSearchPanel(container, *field, first); break;
      default: panel = new TppSimpleSearchPanel(container, *field, first); break;
    }
    panel->CreateControls();
    panel->setFrameShape(tabs ? QFrame::NoFrame : QFrame::StyledPanel);
    panel->move(0, heights[static_cast<size_t>(index)]);
    heights[static_cast<size_t>(index)] += panel->GetHeight();
    widths[static_cast<size_t>(index)] = std::max(widths[static_cast<size_t>(index)], panel->GetWidth());
    panels.push_back(panel);
    panelTabs.push_back(index);
    anyMandatory = anyMandatory || field->Mandatory();
  }
  for (size_t i = 0; i < containers.size(); ++i)
    containers[i]->setMinimumSize(widths[i], heights[i]);
  // Panels are aligned to the top of their container: all as wide as the
  // widest.
  for (size_t i = 0; i < panels.size(); ++i)
    panels[i]->resize(widths[static_cast<size_t>(panelTabs[i])], panels[i]->height());
  int width = *std::max_element(widths.begin(), widths.end());
  int height = *std::max_element(heights.begin(), heights.end());
  if (tabs) {
    width += pageMargin;
    height += tabRowHeight + pageMargin;
  }
  shpMandatory->setVisible(anyMandatory);
  lblMandatory->setVisible(anyMandatory);
  // The form shrinks to the panels (never grows) and is as wide as they
  // are, within bounds.
  const int bottomHeight = 42;
  const int clientHeight = std::min(this->height(), height + bottomHeight);
  const int clientWidth = std::clamp(width, MinClientWidth, MaxClientWidth);
  resize(clientWidth, clientHeight);
  QWidget* notebook = tabs ? static_cast<QWidget*>(tabs) : single;
  notebook->setGeometry(0, 0, clientWidth, clientHeight - bottomHeight);
  pnlBottom->setGeometry(0, clientHeight - bottomHeight, clientWidth, bottomHeight);
  btnOK->setGeometry(clientWidth - 172 + 5, 12, 75, 23);
  btnCancel->setGeometry(clientWidth - 172 + 87, 12, 75, 23);
}

void TppAutoSearchDialog::MakeTabMenu() {
  tabMenu = new QMenu(tabs);
  actMoveTabLeft = tabMenu->addAction(QString::fromStdString(ppLoadMessage(1025)), this, [this] { MoveCurrentTab(-1); });
  actMoveTabRight = tabMenu->addAction(QString::fromStdString(ppLoadMessage(1026)), this, [this] { MoveCurrentTab(1); });
  connect(tabMenu, &QMenu::aboutToShow, this, [this] {
    actMoveTabLeft->setEnabled(tabs->currentIndex() > 0);
    actMoveTabRight->setEnabled(tabs->currentIndex() < tabs->count() - 1);
  });
  tabs->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(tabs, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { tabMenu->popup(tabs->mapToGlobal(at)); });
}

void TppAutoSearchDialog::MoveCurrentTab(int by) {
  const int from = tabs->currentIndex();
  const int to = from + by;
  if (from < 0 || to < 0 || to >= tabs->count()) return;
  tabs->tabBar()->moveTab(from, to);
  // The panels follow their tab, so errors mark the right one.
  for (int& tab : panelTabs) {
    if (tab == from) tab = to;
    else if (tab == to) tab = from;
  }
}

void TppAutoSearchDialog::Activated() {
  TppCustomAutoSearchDialog::Activated();
  if (panels.empty()) return;
  if (tabs) tabs->setCurrentIndex(panelTabs.front());
  panels.front()->FirstEntry()->setFocus();
}

void TppAutoSearchDialog::OKClick() {
  // Every panel is checked, so that each shows its own error.
  std::vector<bool> failedTabs(tabs ? tabs->count() : 1, false);
  bool valid = true;
  for (size_t i = 0; i < panels.size(); ++i)
    if (!panels[i]->Valid()) {
      valid = false;
      failedTabs[static_cast<size_t>(panelTabs[i])] = true;
    }
  if (tabs) {
    int first = -1;
    for (int i = 0; i < tabs->count(); ++i) {
      tabs->setTabIcon(i, failedTabs[static_cast<size_t>(i)] ? ErrorBullet() : QIcon());
      if (failedTabs[static_cast<size_t>(i)] && first < 0) first = i;
    }
    if (first >= 0) tabs->setCurrentIndex(first);
  }
  // The fields change only when every entry passed: a cancelled dialog
  // leaves them as they were.
  if (!valid) return;
  for (TppAutoSearchPanel* panel : panels) panel->Apply();
  SetModalResult(ppmrOK);
}
