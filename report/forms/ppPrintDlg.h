#pragma once
// The print dialog: printer, pages, copies and collation, and, when the
// report allows it, printing to a file of a registered file device type.

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <functional>
#include <memory>

#include "ppForms.h"
#include "ppPageRequest.h"

class TClassInfo;

// The small up-down control inside the right end of an edit box: its upper
// half steps up, its lower half down.
class TppUpDown : public QWidget {
public:
  static constexpr int DefaultWidth = 15;
  explicit TppUpDown(QWidget* parent);
  // Made with the edit's parent and placed inside the edit's right end.
  static TppUpDown* CreateForEdit(QLineEdit* edit);
  // +1 for the upper arrow, -1 for the lower.
  std::function<void(int step)> OnClick;

protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
};

// Pictures drawn by code: stacked sheets of collated and uncollated copies.
class TppMetaBitmap {
public:
  virtual ~TppMetaBitmap() = default;
  static constexpr int PictureWidth = 102, PictureHeight = 53;
  virtual void Paint(QPainter& painter) const = 0;
  // A picture of the class on the button face.
  static QPixmap DrawToBitmap(const TppMetaBitmap& picture);
};
class TppCollationBitmap : public TppMetaBitmap {
public:
  void Paint(QPainter& painter) const override;
};
class TppNonCollationBitmap : public TppMetaBitmap {
public:
  void Paint(QPainter& painter) const override;
};

// The printer list's pictures, 16 x 16, drawn by code.
enum TppPrinterTypeImage { ptiLocal = 0, ptiNetwork = 1 };
QIcon ppPrinterTypeIcon(TppPrinterTypeImage image);

class TppPrintDialog : public TppCustomPrintDialog {
public:
  static constexpr const char* FormName = "TppPrintDialog";
  static constexpr int ClientWidth = 482, ClientHeight = 388, PrintToFileHeight = 95;

  explicit TppPrintDialog(QWidget* owner = nullptr);
  ~TppPrintDialog() override;

  // A request other than the dialog's own is copied into its own as well.
  void SetPageRequest(TppPageRequest* value) override;
  void Activated() override;
  // Checks the entries; sets the modal result OK only when they pass.
  void OKClick();
  void StepCopies(int step);

  QWidget *pnlPrint, *pnlPrintToFile, *pnlBottom;
  QFrame *bvlPrinter, *bvlPageRange, *bvlCopies, *bvlPrintToFile;
  QLabel *lblPrinter, *lblPrinterName, *lblNoPrintersInstalled, *lblPrinterType, *lblPrinterTypeDesc,
      *lblPrinterWhere, *lblPrinterWhereDesc, *lblPageRange, *lblPageRangeDescription, *lblCopies,
      *lblNumberOfCopies, *imgCollate, *lblCollate, *lblPrintWhat, *lblPrintToFile, *lblPrintToFileType,
      *lblPrintToFileWhere;
  QComboBox *cbxPrinters, *cbxPrintWhat, *cbxPrintToFileTypes;
  QPushButton *btnPrinterProperties, *btnOK, *btnCancel;
  QRadioButton *rdbAll, *rdbCurrentPage, *rdbPages;
  QLineEdit *edtPageRange, *edtCopies, *edtPrintToFileName;
  QCheckBox *cbxCollate, *cbxPrintToFile;
  QToolButton* spbPrintToFile;
  TppUpDown* updCopies;
  // The save dialog's file name; the browse button asks through the
  // class library's save dialog.
  std::string SaveFileName;

protected:
  void LanguageChanged() override;
  bool eventFilter(QObject* watched, QEvent* e) override;

private:
  bool initializing = false;
  bool initialized = false;
  TppPageRequest ownRequest;
  QPixmap collated, uncollated;

  void FillPrinters();
  void UpdatePrinterLabels();
  void FillPageChoice();
  void FillPrintToFile();
  void UpdatePrintToFileControls();
  void UpdateCollation();
  const TClassInfo* SelectedDeviceClass() const;
  void FileNameTyped(const std::string& name);
};

// What the dialog asks of a registered device class: whether it writes a
// file (or an archive), and the file's default extension.
bool ppIsFileDeviceClass(const TClassInfo& deviceClass);
bool ppIsArchiveDeviceClass(const TClassInfo& deviceClass);
std::string ppFileDeviceExtension(const TClassInfo& deviceClass);
// A save dialog filter of the class library ("Text files|*.TXT|All
// files|*.*") in Qt's form ("Text files (*.TXT);;All files (*.*)").
std::string ppQtFileFilter(const std::string& filter);
// The file name with its extension: none appends "." and the default,
// a lone "." appends the default; any other is kept.
std::string ppFileNameWithExtension(const std::string& name, const std::string& extension);
