#include <gtest/gtest.h>

#include <vector>

#include "ppDevice.h"
#include "ppDrwCmd.h"
#include "ppPage.h"
#include "ppPublisher.h"
#include "rtlStringList.h"

namespace {

// A device that keeps the numbers of the pages it would output.
class TppRecordingDevice : public TppDevice {
  RTL_DECLARE_CLASS(TppRecordingDevice, TppDevice)
  using TppDevice::TppDevice;
  std::string DeviceName() const override { return "Recorder"; }
  void ReceivePage(TppPage* page) override {
    TppDevice::ReceivePage(page);
    if (PageRequested() && !SkipPage()) pages.push_back(page->AbsolutePageNo);
  }
  std::vector<int> pages;
};
RTL_DEFINE_CLASS(TppRecordingDevice)

// Stands in for the producer: generates pages 1..count on request, each
// knowing the count only as far as it got (one pass), until the
// publisher's request is met.
struct TGenerator {
  TppPublisher& publisher;
  int count;
  int runs = 0;

  void Attach() {
    publisher.OnPageRequest = [this](TppPublisher*, TppPageRequest&) { Generate(); };
  }
  void Generate() {
    ++runs;
    for (int n = 1; n <= count; ++n) {
      TppPage page(nullptr);
      page.AbsolutePageNo = n;
      page.AbsolutePageCount = n;
      page.PageNo = n;
      page.PageCount = n;
      page.FirstPage = n == 1;
      page.LastPage = n == count;
      page.Final = true;
      page.DocumentName = "run " + std::to_string(runs);
      publisher.ReceivePage(&page);
      if (publisher.RequestSatisfied()) return;
    }
  }
};

TppRecordingDevice* AddDevice(TppPublisher& publisher, TComponent* owner) {
  auto* device = new TppRecordingDevice(owner);
  device->SetPublisher(&publisher);
  return device;
}

}  // namespace

TEST(Publisher, DevicesReceiveTheirPages) {
  struct Case {
    const char* Name;
    TppPageSettingType Setting;
    int Requested;
    TppPageRangeType Range;
    std::vector<int> Expected;
  };
  const Case cases[] = {
      {"single page past the end", psSinglePage, 50, prAll, {12}},
      {"even pages", psAll, 1, prEvenPages, {2, 4, 6, 8, 10, 12}},
      {"odd pages", psAll, 1, prOddPages, {1, 3, 5, 7, 9, 11}},
      {"first page", psFirstPage, 1, prAll, {1}},
      {"last page", psLastPage, 1, prAll, {12}},
      {"page range accepts nothing", psPageRange, 1, prAll, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TObjectPtr<TComponent> owner(new TComponent(nullptr));
    auto* publisher = new TppPublisher(owner.get());
    TGenerator generator{*publisher, 12};
    generator.Attach();
    TppRecordingDevice* device = AddDevice(*publisher, owner.get());
    device->PageRequest().SetPageSetting(c.Setting);
    device->PageRequest().SetPageRequested(c.Requested);
    device->PageRequest().SetPageRange(c.Range);
    device->RequestPage();
    EXPECT_EQ(device->pages, c.Expected);
    EXPECT_EQ(generator.runs, 1);
  }
}

TEST(Publisher, PageListsAreServedAndCrossedOff) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* publisher = new TppPublisher(owner.get());
  TGenerator generator{*publisher, 12};
  generator.Attach();
  TppRecordingDevice* device = AddDevice(*publisher, owner.get());
  device->PageRequest().SetPageSetting(psPageList);
  for (const char* n : {"2", "5", "11"}) device->PageRequest().PageList()->Add(n);
  device->RequestPage();
  EXPECT_EQ(device->pages, (std::vector<int>{2, 5, 11}));
  EXPECT_FALSE(device->RequestOutstanding() && device->JobRunning());
}

TEST(Publisher, RequestsMergeIntoOne) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* publisher = new TppPublisher(owner.get());
  TppPageRequest gathered;
  publisher->OnPageRequest = [&](TppPublisher*, TppPageRequest& request) { gathered.Assign(&request); };
  TppRecordingDevice* a = AddDevice(*publisher, owner.get());
  TppRecordingDevice* b = AddDevice(*publisher, owner.get());
  a->PageRequest().SetPageSetting(psSinglePage);
  a->PageRequest().SetPageRequested(3);
  b->PageRequest().SetPageSetting(psSinglePage);
  b->PageRequest().SetPageRequested(5);
  publisher->RequestPages();
  EXPECT_EQ(gathered.PageSetting(), psPageList);
  ASSERT_EQ(gathered.PageList()->Count(), 2);
  EXPECT_EQ(gathered.PageList()->Get(0), "3");
  EXPECT_EQ(gathered.PageList()->Get(1), "5");

  TppRecordingDevice* c = AddDevice(*publisher, owner.get());
  c->PageRequest().SetPageSetting(psAll);
  publisher->RequestPages();
  EXPECT_EQ(gathered.PageSetting(), psAll);

  // The same single page twice stays a single page.
  c->PageRequest().SetPageSetting(psSinglePage);
  c->PageRequest().SetPageRequested(3);
  b->SetActive(false);
  publisher->RequestPages();
  EXPECT_EQ(gathered.PageSetting(), psSinglePage);
  EXPECT_EQ(gathered.PageRequested(), 3);
}

TEST(Publisher, CachedPagesServeLaterRequestsAndLearnTheFinalCounts) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* publisher = new TppPublisher(owner.get());
  publisher->SetCachePages(true);
  TGenerator generator{*publisher, 12};
  generator.Attach();
  TppRecordingDevice* device = AddDevice(*publisher, owner.get());
  device->RequestPage();
  ASSERT_EQ(publisher->CachedPageCount(), 12);
  EXPECT_TRUE(publisher->LastPageKnown());
  for (int n = 1; n <= 11; ++n) {
    EXPECT_EQ(publisher->GetCachedPage(n)->AbsolutePageCount, 12) << n;
    EXPECT_EQ(publisher->GetCachedPage(n)->PageCount, 12) << n;
  }
  EXPECT_EQ(publisher->GetCachedPage(10)->AbsolutePageNo, 10);

  // Page 3 again, and everything again: from the cache, no generation.
  device->pages.clear();
  device->PageRequest().SetPageSetting(psSinglePage);
  device->PageRequest().SetPageRequested(3);
  device->RequestPage();
  EXPECT_EQ(device->pages, std::vector<int>{3});
  device->pages.clear();
  device->PageRequest().SetPageSetting(psAll);
  device->RequestPage();
  EXPECT_EQ(device->pages.size(), 12u);
  EXPECT_EQ(generator.runs, 1);

  // A page made again replaces its cached copy.
  TppPage again(nullptr);
  again.AbsolutePageNo = 3;
  again.AbsolutePageCount = 12;
  again.Final = true;
  again.DocumentName = "again";
  publisher->ReceivePage(&again);
  EXPECT_EQ(publisher->GetCachedPage(3)->DocumentName, "again");
  EXPECT_EQ(publisher->CachedPageCount(), 12);

  // Calculation pages and unfinished pages are not cached.
  TppPage calc(nullptr);
  calc.AbsolutePageNo = 13;
  calc.Final = true;
  calc.Calculation = true;
  publisher->ReceivePage(&calc);
  EXPECT_EQ(publisher->GetCachedPage(13), nullptr);

  publisher->Clear();
  EXPECT_EQ(publisher->CachedPageCount(), 0);
  EXPECT_FALSE(publisher->LastPageKnown());
}

TEST(Publisher, AllFromACacheWithoutPageOneGenerates) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* publisher = new TppPublisher(owner.get());
  publisher->SetCachePages(true);
  TGenerator generator{*publisher, 3};
  generator.Attach();
  for (int n : {2, 3}) {
    TppPage page(nullptr);
    page.AbsolutePageNo = n;
    page.AbsolutePageCount = 3;
    page.LastPage = n == 3;
    page.Final = true;
    publisher->ReceivePage(&page);
  }
  TppRecordingDevice* device = AddDevice(*publisher, owner.get());
  device->RequestPage();
  EXPECT_EQ(generator.runs, 1);
  EXPECT_EQ(device->pages, (std::vector<int>{1, 2, 3}));
}

TEST(Publisher, GroupedDevicesTakeTurns) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* publisher = new TppPublisher(owner.get());
  TGenerator generator{*publisher, 2};
  generator.Attach();
  auto* first = new TppRecordingDevice(owner.get());
  auto* second = new TppRecordingDevice(owner.get());
  for (TppRecordingDevice* d : {first, second}) {
    d->SetGrouped(true);
    d->SetGroupKey("Screen");
    d->SetPublisher(publisher);
  }
  EXPECT_EQ(publisher->DeviceCount(), 1);
  second->RequestPage();
  EXPECT_TRUE(first->pages.empty());
  EXPECT_EQ(second->pages, (std::vector<int>{1, 2}));
  second->SetGroupKey("other");  // ignored while attached
  EXPECT_EQ(second->GroupKey(), "Screen");
  second->Free();
  EXPECT_EQ(publisher->DeviceCount(), 1);
  first->RequestPage();
  EXPECT_EQ(first->pages, (std::vector<int>{1, 2}));
}

TEST(Publisher, DevicesAndPublishersForgetEachOther) {
  TObjectPtr<TComponent> owner(new TComponent(nullptr));
  auto* publisher = new TppPublisher(owner.get());
  EXPECT_TRUE(publisher->ScreenDevicesOnly());
  TppRecordingDevice* device = AddDevice(*publisher, owner.get());
  EXPECT_FALSE(publisher->ScreenDevicesOnly());
  int changes = 0;
  device->OnPublisherChange = [&](TppDevice*) { ++changes; };
  device->SetStatus("Printing page 2");
  EXPECT_EQ(publisher->GetStatus(), "Printing page 2");
  publisher->Free();
  EXPECT_EQ(device->Publisher(), nullptr);
  EXPECT_EQ(changes, 1);
  device->RequestPage();  // without a publisher: nothing
}

TEST(DeviceRegistry, ClassesByDeviceName) {
  ppRegisterDevice(TppRecordingDevice::StaticClassType());
  ppRegisterDevice(TppRecordingDevice::StaticClassType());
  TStringList names;
  ppGetDeviceNames(names);
  EXPECT_EQ(names.IndexOf("Recorder"), names.Count() - 1);
  EXPECT_EQ(ppGetDeviceClass("recorder"), &TppRecordingDevice::StaticClassType());
  ppUnRegisterDevice(TppRecordingDevice::StaticClassType());
  EXPECT_EQ(ppGetDeviceClass("Recorder"), nullptr);
}

TEST(Device, DrawsTheCommandsThatLieOnThePage) {
  class TppCountingDevice : public TppDevice {
  public:
    using TppDevice::TppDevice;
    std::vector<int> drawn;
    bool DrawCommand(TppDrawCommand* command) override {
      drawn.push_back(command->Left());
      return true;
    }
  };
  TObjectPtr<TppPage> page(new TppPage(nullptr));
  const int width = page->PageDef()->mmWidth();
  for (int left : {0, width, width + 1, 5000}) {
    auto* command = new TppDrawShape(page.get());
    command->SetLeft(left);
    command->SetPage(page.get());
  }
  TObjectPtr<TppCountingDevice> device(new TppCountingDevice(nullptr));
  device->DrawPage(page.get());
  EXPECT_EQ(device->drawn, (std::vector<int>{0, width, 5000}));
}
