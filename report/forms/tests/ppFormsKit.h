#pragma once
// What the window tests of the engine share: a report on US Letter over a
// memory dataset whose detail band prints one clickable text per row, and
// the dialog seams answered in order.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbDataSource.h"
#include "dbMemoryDataSet.h"
#include "ppBands.h"
#include "ppDBPipeline.h"
#include "ppForms.h"
#include "ppReport.h"
#include "ppReportKit.h"
#include "uiDialogs.h"

class TKitText : public TppCustomComponent {
  RTL_DECLARE_CLASS(TKitText, TppCustomComponent)
  explicit TKitText(TComponent* owner);
  bool IsDataAware() const override { return true; }

protected:
  void PropertiesToDrawCommand(TppDrawCommand* command) override;
};

// A report of `rows` rows, rowsPerPage of them to a Letter page; the
// detail text prints field ID and counts its clicks.
struct TKitReport {
  explicit TKitReport(int rows, int rowsPerPage = 5);
  ~TKitReport();
  std::unique_ptr<TMemoryDataSet, TObjectFree> Data;
  TObjectPtr<TComponent> Owner;
  TppReport* Report = nullptr;
  TppDBPipeline* Pipeline = nullptr;
  TKitText* Text = nullptr;
  int Clicks = 0;
  // Frees the report and its owner now.
  void Free();
};

// Answers every form shown while it lives by act (which returns the modal
// result); the previous runner comes back afterwards.
class TFormAnswers {
public:
  explicit TFormAnswers(std::function<int(TppForm&)> act);
  ~TFormAnswers();

private:
  TppFormRunner previous;
};

// One local printer, "Office", and the network printers named are the
// machine's while this lives; none afterwards (no test asks the machine's
// own CUPS).
class TKitPrinters {
public:
  explicit TKitPrinters(std::vector<std::string> networkPrinters = {});
  ~TKitPrinters();
};

// Records each message box and answers it.
class TMessageBoxes {
public:
  explicit TMessageBoxes(TModalResult answer = mrOk);
  ~TMessageBoxes();
  std::vector<std::string> Texts;
};
