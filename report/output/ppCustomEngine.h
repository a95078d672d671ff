#pragma once
// The base of the page generation engine: page counters, the print
// rectangle of the space left on the page, the engine state and band-kind
// sets, and the engine's events.

#include <functional>

#include "ppCache.h"
#include "rtlDateTime.h"

class TppCustomReport;
class TppPage;

// Engine state set.
constexpr uint16_t ppesGenerating = 1;
constexpr uint16_t ppesFirstPass = 2;
constexpr uint16_t ppesSecondPass = 4;
constexpr uint16_t ppesNoData = 8;
constexpr uint16_t ppesTitlePrinting = 16;
constexpr uint16_t ppesSummaryPrinting = 32;
// A subreport section owns the page: the parent's page bands stay off it.
constexpr uint16_t ppesSectionPage = 64;

// The engine's own events: the report's first page starts, its last page ends.
constexpr int ppevEngineReportStart = 13;
constexpr int ppevEngineReportEnd = 14;

class TppCustomEngine : public TppCacheable {
  RTL_DECLARE_CLASS(TppCustomEngine, TppCacheable)

  TppCustomEngine(TComponent* owner, TppCustomReport* report);

  TppCustomReport* Report() const { return report; }
  TppPage* Page() const { return page; }

  int AbsolutePageNo() const { return absolutePageNo; }
  int AbsolutePageCount() const { return absolutePageCount; }
  TDateTime PrintDateTime() const { return printDateTime; }

  // The space left on the page.
  int PrintLeft() const { return printLeft; }
  int PrintTop() const { return printTop; }
  int PrintPosition() const { return printPosition; }
  void SetArea(int left, int top, int width, int position);
  void SetPrintPosition(int value) { printPosition = value; }
  virtual int PageBottom() const = 0;

  uint16_t EngineState() const { return engineState; }
  void AddState(uint16_t flags) { engineState = static_cast<uint16_t>(engineState | flags); }
  void RemoveState(uint16_t flags) { engineState = static_cast<uint16_t>(engineState & ~flags); }
  uint16_t PageState() const { return pageState; }
  void AddPageState(uint16_t flags) { pageState = static_cast<uint16_t>(pageState | flags); }
  void RemovePageState(uint16_t flags) { pageState = static_cast<uint16_t>(pageState & ~flags); }

  bool FirstPass() const { return (engineState & ppesFirstPass) != 0; }
  bool SecondPass() const { return (engineState & ppesSecondPass) != 0; }
  bool Cancelled() const { return cancelled; }
  // Stops generation at its next test.
  void RequestStop() { cancelled = true; }
  virtual bool LastPageKnown() const = 0;
  virtual bool IsLastPage() const = 0;

protected:
  TppPage* page;
  int absolutePageNo = 0;
  int absolutePageCount = 0;
  TDateTime printDateTime = 0;
  bool cancelled = false;
  void SetPage(TppPage* value) { page = value; }

private:
  TppCustomReport* report;
  int printLeft = 0, printTop = 0, printWidth = 0, printPosition = 0;
  uint16_t engineState = 0;
  uint16_t pageState = 0;
};
