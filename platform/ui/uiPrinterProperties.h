#pragma once
// A printer's properties as its dialog edits them: over CUPS the job
// options a queue offers (paper, source, orientation, two-sided printing,
// copies, collation) stand where a driver's own dialog stands elsewhere.
// The values are checked here, so the view only shows and forwards them.
// The dialog runs through a replaceable runner: the program shows the Qt
// dialog, tests answer without a window. Main thread only.

#include <functional>
#include <string>
#include <vector>

struct TPrinterChoice {
  std::string Name;
  int Code = 0;
};

enum TPrinterOrientationChoice { pocPortrait, pocLandscape };
enum TPrinterSidesChoice { pscOneSided, pscLongEdge, pscShortEdge };

class TPrinterProperties {
public:
  TPrinterProperties(std::string printerName, std::vector<TPrinterChoice> papers, std::vector<TPrinterChoice> bins,
                     int maxCopies);

  const std::string& PrinterName() const { return printerName; }
  const std::vector<TPrinterChoice>& Papers() const { return papers; }
  const std::vector<TPrinterChoice>& Bins() const { return bins; }
  int MaxCopies() const { return maxCopies; }

  // Codes the lists do not hold are refused (false, nothing changes).
  int Paper() const { return paper; }
  bool SetPaper(int code);
  int Bin() const { return bin; }
  bool SetBin(int code);
  TPrinterOrientationChoice Orientation() const { return orientation; }
  void SetOrientation(TPrinterOrientationChoice value) { orientation = value; }
  TPrinterSidesChoice Sides() const { return sides; }
  void SetSides(TPrinterSidesChoice value) { sides = value; }
  // Brought into 1 to MaxCopies.
  int Copies() const { return copies; }
  void SetCopies(int value);
  bool Collate() const { return collate; }
  void SetCollate(bool value) { collate = value; }

  // Index in Papers() / Bins() of the current code; -1 when none.
  int PaperIndex() const;
  int BinIndex() const;

private:
  std::string printerName;
  std::vector<TPrinterChoice> papers;
  std::vector<TPrinterChoice> bins;
  int maxCopies;
  int paper = 0;
  int bin = 0;
  TPrinterOrientationChoice orientation = pocPortrait;
  TPrinterSidesChoice sides = pscOneSided;
  int copies = 1;
  bool collate = false;
};

// Shows the properties for editing; true when the user confirmed (the
// properties hold the choices then), false leaves them as they were.
using TPrinterPropertiesRunner = std::function<bool(TPrinterProperties& properties)>;
// An empty runner restores the Qt dialog.
void SetPrinterPropertiesRunner(TPrinterPropertiesRunner runner);
bool ShowPrinterProperties(TPrinterProperties& properties);
