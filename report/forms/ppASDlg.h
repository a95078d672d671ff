#pragma once
// The auto-search dialog: one panel per search field, on one tab per data
// pipeline when the fields come from several; OK checks every entry and
// writes the values back into the fields.

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QMenu>
#include <QTabWidget>
#include <vector>

#include "ppAutoSearch.h"
#include "ppForms.h"

class TppAutoSearchPanel : public QFrame {
public:
  TppAutoSearchPanel(QWidget* parent, TppAutoSearchField& field, bool firstInContainer);

  TppAutoSearchField& Field() const { return field; }
  // Builds the entry controls; the base builds the captions and the
  // show-all box.
  virtual void CreateControls();
  // The entries as they stand.
  virtual std::vector<std::string> Entries() const = 0;
  // Checks the entries against the field and shows the error, if any.
  bool Valid();
  // Writes the expression and the show-all state into the field.
  void Apply();
  virtual int GetHeight() const = 0;
  int GetWidth() const;
  // The control that takes the focus first.
  virtual QWidget* FirstEntry() const = 0;

  QLabel *lblLead, *lblFieldName, *lblOperator, *shpError, *lblError, *shpMandatory;
  QCheckBox* cbxShowAll;

protected:
  // Captions shown disabled while all values show.
  void ApplyShowAll();
  // A click on an entry unchecks show-all.
  void WatchEntry(QWidget* entry);
  bool eventFilter(QObject* watched, QEvent* e) override;
  void ShowError(const std::string& text, QWidget* entry);
  virtual std::string Expression() const;
  int EntryLeft() const;

private:
  TppAutoSearchField& field;
  bool first;
};

class TppSimpleSearchPanel : public TppAutoSearchPanel {
public:
  using TppAutoSearchPanel::TppAutoSearchPanel;
  void CreateControls() override;
  std::vector<std::string> Entries() const override;
  int GetHeight() const override { return 73; }
  QWidget* FirstEntry() const override { return edtValue; }
  QLineEdit* edtValue = nullptr;
};

class TppBetweenSearchPanel : public TppAutoSearchPanel {
public:
  using TppAutoSearchPanel::TppAutoSearchPanel;
  void CreateControls() override;
  std::vector<std::string> Entries() const override;
  int GetHeight() const override { return 73; }
  QWidget* FirstEntry() const override { return edtFrom; }
  QLineEdit *edtFrom = nullptr, *edtTo = nullptr;
  QLabel* lblAnd = nullptr;
};

class TppInListSearchPanel : public TppAutoSearchPanel {
public:
  using TppAutoSearchPanel::TppAutoSearchPanel;
  void CreateControls() override;
  std::vector<std::string> Entries() const override;
  int GetHeight() const override { return 183; }
  QWidget* FirstEntry() const override { return edtValue; }
  void AddClick();
  // Nothing without a selection.
  void RemoveClick();
  QLineEdit* edtValue = nullptr;
  QListWidget* lbxValues = nullptr;
  QPushButton *btnAdd = nullptr, *btnRemove = nullptr;
};

// The search dialog's own icon, drawn by code.
QIcon ppAutoSearchIcon();

class TppAutoSearchDialog : public TppCustomAutoSearchDialog {
public:
  static constexpr const char* FormName = "TppAutoSearchDialog";
  static constexpr int MinClientWidth = 438, MaxClientWidth = 1000;

  explicit TppAutoSearchDialog(QWidget* owner = nullptr);

  void Init() override;
  void Activated() override;
  void OKClick();

  // The page control when the fields come from several pipelines.
  QTabWidget* Tabs() const { return tabs; }
  const std::vector<TppAutoSearchPanel*>& Panels() const { return panels; }
  // The tabs' pop-up menu, only while the report is being designed:
  // "Move Tab Left" and "Move Tab Right" move the current tab one place.
  QMenu* TabMenu() const { return tabMenu; }
  QAction *actMoveTabLeft = nullptr, *actMoveTabRight = nullptr;

  QWidget* pnlBottom;
  QLabel *shpMandatory, *lblMandatory;
  QPushButton *btnOK, *btnCancel;

protected:
  void LanguageChanged() override;

private:
  QTabWidget* tabs = nullptr;
  QMenu* tabMenu = nullptr;
  QScrollArea* single = nullptr;
  std::vector<TppAutoSearchPanel*> panels;
  // The tab of each panel (0 without tabs).
  std::vector<int> panelTabs;
  bool built = false;

  void MakeTabMenu();
  void MoveCurrentTab(int by);
};
