#pragma once
// The engine's own preview window: a tool bar over a page viewer and a
// status bar, registered as the previewer form class.

#include <QLineEdit>
#include <QStatusBar>
#include <QToolButton>
#include <QWidget>

#include "ppForms.h"
#include "ppViewer.h"

// The preview window's own icon, drawn by code: a page under a magnifying
// glass, 32 x 32.
QIcon ppPreviewIcon();

class TppPrintPreview : public TppCustomPreviewer {
public:
  static constexpr const char* FormName = "TppPrintPreview";

  explicit TppPrintPreview(QWidget* owner = nullptr);
  ~TppPrintPreview() override;

  TppViewer* Viewer() const override { return viewer; }
  void Init() override;

  // The controls, by their design names (tests and screenshots use them).
  QWidget* pnlPreviewBar = nullptr;
  QWidget* pnlStandardButtons = nullptr;
  QToolButton* spbPreviewPrint = nullptr;
  QToolButton* spbAutoSearch = nullptr;
  QToolButton* spbPreviewWhole = nullptr;
  QToolButton* spbPreviewWidth = nullptr;
  QToolButton* spbPreview100Percent = nullptr;
  QLineEdit* mskPreviewPercentage = nullptr;
  QToolButton* spbPreviewFirst = nullptr;
  QToolButton* spbPreviewPrior = nullptr;
  QLineEdit* mskPreviewPage = nullptr;
  QToolButton* spbPreviewNext = nullptr;
  QToolButton* spbPreviewLast = nullptr;
  QToolButton* spbPreviewClose = nullptr;
  QStatusBar* statusBar = nullptr;

  // The close button: cancels while the report prints, else closes.
  void CloseClick();
  // Asks the report for its search values; a confirmed dialog makes the
  // pages again.
  void AutoSearchClick();

protected:
  void LanguageChanged() override;
  void ReportAssigned() override;
  void keyPressEvent(QKeyEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

private:
  TppViewer* viewer = nullptr;

  void UpdateAutoSearchButton();
  void ZoomTo(TppZoomSettingType setting);
  void ApplyZoomBox();
  void ApplyPageBox();
  void PageChanged();
  void PrintStateChanged();
  void Scroll(int dx, int dy);
};
