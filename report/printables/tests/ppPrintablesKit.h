#pragma once
// What the component tests build reports from: a memory dataset of jobs
// given row by row, a report on an A4 page over it, and a device that
// keeps copies of the pages it receives.

#include <memory>
#include <string>
#include <vector>

#include "dbDataSource.h"
#include "dbMemoryDataSet.h"
#include "ppBands.h"
#include "ppDBPipeline.h"
#include "ppDevice.h"
#include "ppPage.h"
#include "ppReport.h"

struct TJobRow {
  std::string Owner;
  int Pages = 0;
  std::string Note;
  std::vector<uint8_t> Picture;  // a picture file's bytes, or none
};

class TKeepingDevice : public TppDevice {
  RTL_DECLARE_CLASS(TKeepingDevice, TppDevice)
  explicit TKeepingDevice(TComponent* owner) : TppDevice(owner) {}
  std::string DeviceName() const override { return "Keeper"; }
  void ReceivePage(TppPage* page) override;
  std::vector<std::unique_ptr<TppPage>> Pages;
};

constexpr int mm(int value) { return value * 1000; }

// A report on an A4 page with 10 mm margins over the rows (fields OWNER,
// PAGES, NOTE, PICTURE, ZERO: always 0.0, ZEROINT: always 0, ZEROTEXT: always "0").
struct TPrintablesFixture {
  explicit TPrintablesFixture(const std::vector<TJobRow>& rows);
  ~TPrintablesFixture();
  std::unique_ptr<TMemoryDataSet, TObjectFree> Data;
  TppDBPipeline* Pipeline;
  TppReport* Report;
  TppBand* Header;
  TppBand* Detail;
  TppBand* Footer;
  TObjectPtr<TComponent> Owner;

  template <typename T>
  T* Add(TppBand* band, int left, int top, int width, int height) {
    auto* c = new T(Report);
    c->SetBand(band);
    c->SetBounds(left, top, width, height);
    return c;
  }
  TppGroup* AddGroup(const std::string& field, int headerHeight, int footerHeight);
  std::vector<std::unique_ptr<TppPage>> PrintAll();
};

std::vector<TJobRow> Rows(int count, int groupSize = 1000);
// The texts of a page's text commands, in drawing order.
std::vector<std::string> Texts(const TppPage& page);
