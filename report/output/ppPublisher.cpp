#include "ppPublisher.h"

#include <algorithm>

#include "ppDevice.h"
#include "ppPage.h"
#include "rtlConvert.h"
#include "rtlStrUtils.h"

RTL_DEFINE_CLASS(TppPublisher)

TppPublisher::TppPublisher(TComponent* owner) : TppCommunicator(owner) {}

TppPublisher::~TppPublisher() {
  // Devices hear of the end through their links and forget this publisher.
  pageCache.clear();
}

bool TppPublisher::Listed(const TppDevice* device) const {
  if (std::find(devices.begin(), devices.end(), device) != devices.end()) return true;
  for (const auto& [key, group] : deviceGroups)
    if (std::find(group.begin(), group.end(), device) != group.end()) return true;
  return false;
}

void TppPublisher::AddDevice(TppDevice* device) {
  if (!device || Listed(device)) return;
  if (device->Grouped()) {
    std::vector<TppDevice*>& group = deviceGroups[device->GroupKey()];
    if (!group.empty()) std::erase(devices, group.front());
    group.insert(group.begin(), device);
  }
  devices.push_back(device);
  device->publisher = this;
  AddNotify(device);
}

void TppPublisher::Detach(TppDevice* device) {
  std::erase(devices, device);
  if (!device->Grouped()) return;
  auto it = deviceGroups.find(device->GroupKey());
  if (it == deviceGroups.end()) return;
  std::vector<TppDevice*>& group = it->second;
  const bool wasActive = !group.empty() && group.front() == device;
  std::erase(group, device);
  if (wasActive && !group.empty()) devices.push_back(group.front());
  if (group.empty()) deviceGroups.erase(it);
}

void TppPublisher::RemoveDevice(TppDevice* device) {
  if (!device || !Listed(device)) return;
  Detach(device);
  if (device->publisher == this) device->publisher = nullptr;
  RemoveNotify(device);
}

void TppPublisher::Notify(TppCommunicator* sender, int operation) {
  if (operation == ppopRemove) {
    // A device being destroyed: compare addresses only.
    for (TppDevice* device : std::vector<TppDevice*>(devices))
      if (static_cast<TppCommunicator*>(device) == sender) Detach(device);
    for (auto it = deviceGroups.begin(); it != deviceGroups.end();) {
      std::erase_if(it->second, [sender](TppDevice* d) { return static_cast<TppCommunicator*>(d) == sender; });
      it = it->second.empty() ? deviceGroups.erase(it) : std::next(it);
    }
  }
  inherited::Notify(sender, operation);
}

void TppPublisher::Clear() {
  lastPageKnown = false;
  lastPageNo = 0;
  requestSatisfied = false;
  pageCache.clear();
  staleFrom = std::numeric_limits<int>::max();
}

void TppPublisher::ForgetPagesFrom(int pageNo) {
  staleFrom = std::min(staleFrom, pageNo);
  if (lastPageKnown && lastPageNo >= pageNo) {
    lastPageKnown = false;
    lastPageNo = 0;
  }
  requestSatisfied = false;
}

void TppPublisher::DropStalePages() {
  pageCache.erase(pageCache.lower_bound(staleFrom), pageCache.end());
  staleFrom = std::numeric_limits<int>::max();
}

void TppPublisher::Reset() {
  Clear();
  requestNew = true;
  pageRequest.Clear();
}

void TppPublisher::Broadcast(TBroadcast code, TppPage* page) {
  const std::vector<TppDevice*> snapshot = devices;
  for (TppDevice* device : snapshot) {
    if (std::find(devices.begin(), devices.end(), device) == devices.end() || !device->Active()) continue;
    switch (code) {
      case bcCancelJob:
        if (device->RequestOutstanding()) device->CancelJob();
        break;
      case bcEndJob: device->EndJob(); break;
      case bcGatherRequest:
        if (!device->RequestOutstanding()) break;
        if (device->OnPageRequest) device->OnPageRequest(device);
        MergeRequest(device->PageRequest());
        requestSatisfied = false;
        break;
      case bcReceivePage:
        if (device->RequestOutstanding()) device->ReceivePage(page);
        break;
      case bcStartJob: device->StartJob(); break;
      case bcReset: device->Reset(); break;
    }
  }
}

void TppPublisher::StartJob() { Broadcast(bcStartJob); }

void TppPublisher::EndJob() {
  Broadcast(bcEndJob);
  requestsGathered = false;
  requestNew = true;
  pageRequest.Clear();
}

void TppPublisher::CancelJob() { Broadcast(bcCancelJob); }
void TppPublisher::ResetDevices() { Broadcast(bcReset); }

void TppPublisher::MergeRequest(const TppPageRequest& d) {
  TppPageRequest& p = pageRequest;
  if (requestNew) {
    requestNew = false;
    p.Assign(&d);
    return;
  }
  if (p.PageSetting() == psAll) return;
  if (d.PageSetting() != psSinglePage && d.PageSetting() != psFirstPage) {
    p.SetPageSetting(psAll);
    return;
  }
  const int wanted = d.PageSetting() == psFirstPage ? 1 : d.PageRequested();
  const bool compatible = (p.PageSetting() != psSinglePage || p.PageRequested() == wanted) &&
                          (p.PageSetting() != psFirstPage || wanted == 1);
  if (compatible) {
    if (p.PageSetting() == psPageList && p.PageList()->IndexOf(IntToStr(wanted)) < 0)
      p.PageList()->Add(IntToStr(wanted));
    return;
  }
  const int first = p.PageSetting() == psFirstPage ? 1 : p.PageRequested();
  p.SetPageSetting(psPageList);
  if (p.PageList()->IndexOf(IntToStr(first)) < 0) p.PageList()->Add(IntToStr(first));
  if (p.PageList()->IndexOf(IntToStr(wanted)) < 0) p.PageList()->Add(IntToStr(wanted));
}

void TppPublisher::RequestPages() {
  DropStalePages();
  gathering = true;
  requestNew = true;
  Broadcast(bcGatherRequest);
  gathering = false;
  requestsGathered = true;
  if (gathering || requestSatisfied) return;
  requestSatisfied = ServePageRequest();
  if (!requestSatisfied && OnPageRequest) OnPageRequest(this, pageRequest);
}

TppPage* TppPublisher::GetCachedPage(int pageNo) const {
  if (pageNo >= staleFrom) return nullptr;
  const auto it = pageCache.find(pageNo);
  return it == pageCache.end() ? nullptr : it->second.get();
}

bool TppPublisher::ServePageRequest() {
  if (!cachePages) return false;
  serving = true;
  bool satisfied = false;
  // Pages are passed on one by one; a device may change the cache.
  auto pass = [this](int pageNo) {
    TppPage* page = GetCachedPage(pageNo);
    if (page) ReceivePage(page);
    return page != nullptr;
  };
  switch (pageRequest.PageSetting()) {
    case psAll: {
      const TppPage* first = GetCachedPage(1);
      if (lastPageKnown && first && CachedPageCount() == first->AbsolutePageCount) {
        satisfied = true;
        const int count = CachedPageCount();
        for (int n = 1; n <= count; ++n) pass(n);
      }
      break;
    }
    case psPageList: {
      satisfied = true;
      TStringList* list = pageRequest.PageList();
      int index = 0;
      while (index < list->Count()) {
        const int pageNo = StrToIntDef(Trim(list->Get(index)), 0);
        if (GetCachedPage(pageNo)) {
          list->Delete(index);
          pass(pageNo);
        } else {
          ++index;
          satisfied = false;
        }
      }
      break;
    }
    case psSinglePage: satisfied = pass(pageRequest.PageRequested()); break;
    case psFirstPage: satisfied = pass(1); break;
    case psLastPage: satisfied = lastPageKnown && pass(lastPageNo); break;
    case psPageRange: satisfied = false; break;
  }
  serving = false;
  return satisfied;
}

void TppPublisher::CachePage(const TppPage& page) {
  // A new copy of a page number replaces (and frees) the old one.
  auto copy = std::make_unique<TppPage>(nullptr);
  copy->Assign(&page);
  pageCache[page.AbsolutePageNo] = std::move(copy);
  if (pageCache.size() < 2) return;
  for (auto& [number, cached] : pageCache) {
    if (cached->AbsolutePageCount < page.AbsolutePageCount) cached->AbsolutePageCount = page.AbsolutePageCount;
    if (cached->ControlGroupBreakNo == page.ControlGroupBreakNo && cached->PageCount < page.PageCount)
      cached->PageCount = page.PageCount;
  }
}

void TppPublisher::ReceivePage(TppPage* page) {
  if (!page) return;
  if (cachePages && !serving && page->Final && !page->Calculation) CachePage(*page);
  Broadcast(bcReceivePage, page);
  requestSatisfied = pageRequest.IsSatisfied(*page);
  if (!lastPageKnown && page->LastPage) {
    lastPageKnown = true;
    lastPageNo = page->AbsolutePageNo;
  }
}

std::string TppPublisher::GetStatus() const {
  for (const TppDevice* device : devices)
    if (!device->Status().empty()) return device->Status();
  return {};
}

void TppPublisher::SetStatus(const std::string& text) {
  for (TppDevice* device : devices) device->SetStatus(text);
}

bool TppPublisher::ScreenDevicesOnly() const {
  return std::all_of(devices.begin(), devices.end(),
                     [](const TppDevice* d) { return SameText(d->ClassName(), "TppScreenDevice"); });
}
