#pragma once
// The publisher passes generated pages from the engine to the devices that
// want them. It merges the devices' page requests into one, serves what it
// can from its cache of page copies, and only then asks the producer to
// generate.
//
// Grouped devices with one key: only the one attached last receives pages;
// when it leaves, the one attached before it takes over.

#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ppComm.h"
#include "ppPageRequest.h"

class TppDevice;
class TppPage;

class TppPublisher : public TppCommunicator {
  RTL_DECLARE_CLASS(TppPublisher, TppCommunicator)

  explicit TppPublisher(TComponent* owner);
  ~TppPublisher() override;

  void AddDevice(TppDevice* device);
  void RemoveDevice(TppDevice* device);
  int DeviceCount() const { return static_cast<int>(devices.size()); }
  TppDevice* Device(int index) const { return devices[static_cast<size_t>(index)]; }

  // Forgets the last page and frees the cached pages.
  void Clear();
  // Clear, and the next request starts afresh.
  void Reset();
  // The cached pages from this one on are out of date: never served again,
  // and freed as the next request starts (a command of one of them may be
  // the one being clicked now).
  void ForgetPagesFrom(int pageNo);
  bool CachePages() const { return cachePages; }
  void SetCachePages(bool value) { cachePages = value; }
  void StartJob();
  void EndJob();
  void CancelJob();
  void ResetDevices();
  // Gathers the devices' requests and serves them; fires OnPageRequest
  // when the cache cannot.
  void RequestPages();
  // One generated page from the engine.
  void ReceivePage(TppPage* page);
  std::string GetStatus() const;
  void SetStatus(const std::string& text);
  bool ScreenDevicesOnly() const;
  TppPage* GetCachedPage(int pageNo) const;
  int CachedPageCount() const { return static_cast<int>(pageCache.size()); }

  TppPageRequest& PageRequest() { return pageRequest; }
  bool RequestSatisfied() const { return requestSatisfied; }
  bool LastPageKnown() const { return lastPageKnown; }
  int LastPageNo() const { return lastPageNo; }

  std::function<void(TppPublisher* sender, TppPageRequest& request)> OnPageRequest;

  void Notify(TppCommunicator* sender, int operation) override;

private:
  enum TBroadcast { bcCancelJob = 0, bcEndJob = 1, bcGatherRequest = 2, bcReceivePage = 3, bcStartJob = 4, bcReset = 5 };

  std::vector<TppDevice*> devices;
  // Per group key, the grouped devices, the active one first.
  std::map<std::string, std::vector<TppDevice*>> deviceGroups;
  // Copies of generated pages by page number.
  std::map<int, std::unique_ptr<TppPage>> pageCache;
  TppPageRequest pageRequest;
  bool cachePages = false;
  bool lastPageKnown = false;
  int lastPageNo = 0;
  int staleFrom = std::numeric_limits<int>::max();
  bool requestNew = true;
  bool requestSatisfied = false;
  bool serving = false;
  bool gathering = false;
  bool requestsGathered = false;

  void DropStalePages();
  void Broadcast(TBroadcast code, TppPage* page = nullptr);
  void MergeRequest(const TppPageRequest& request);
  bool ServePageRequest();
  void CachePage(const TppPage& page);
  void Detach(TppDevice* device);
  bool Listed(const TppDevice* device) const;
};
