#pragma once
// Devices receive pages from the publisher: the screen, the printer and
// files. Each says which pages it wants through its page request.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ppComm.h"
#include "ppPageRequest.h"

class TppDrawCommand;
class TppPage;
class TppPublisher;
class TStrings;

class TppDevice : public TppCommunicator {
  RTL_DECLARE_CLASS(TppDevice, TppCommunicator)

  using TDeviceEvent = std::function<void(TppDevice* sender)>;
  using TPageEvent = std::function<void(TppDevice* sender, TppPage* page)>;

  explicit TppDevice(TComponent* owner);
  ~TppDevice() override;

  bool Active() const { return active; }
  void SetActive(bool value) { active = value; }
  bool JobRunning() const { return jobRunning; }
  bool Grouped() const { return grouped; }
  const std::string& GroupKey() const { return groupKey; }
  // Both take effect only without a publisher and outside a job.
  virtual void SetGrouped(bool value);
  virtual void SetGroupKey(const std::string& value);
  const std::string& Status() const { return status; }
  virtual void SetStatus(const std::string& value) { status = value; }
  // Where a printing device's progress goes (the cancel dialog, through
  // the producer); nothing when empty.
  using TProgressTarget = std::function<void(const std::string& text)>;
  void SetProgressTarget(TProgressTarget target);
  // The device type name; the base answers its class name.
  virtual std::string DeviceName() const { return ClassName(); }

  TppPublisher* Publisher() const { return publisher; }
  void SetPublisher(TppPublisher* value);
  TppPageRequest& PageRequest() { return pageRequest; }
  void SetPageRequest(const TppPageRequest& value) { pageRequest.Assign(&value); }
  bool RequestOutstanding() const { return requestOutstanding; }
  bool SkipPage() const { return skipPage; }
  bool PageRequested() const { return pageRequested; }

  virtual void CancelJob();
  virtual bool DrawCommand(TppDrawCommand* command) { return false; }
  virtual void RedrawDrawCommand(TppDrawCommand* command) {}
  virtual void EndJob();
  virtual bool IgnoresNonFinalPages() const { return true; }
  // The base step every device runs first: decides SkipPage and
  // PageRequested and whether the request is still outstanding.
  virtual void ReceivePage(TppPage* page);
  virtual void Reset();
  virtual void StartJob();

  // Asks the publisher for the pages of this device's request.
  void RequestPage();
  // Draws the commands that lie on the page, in order.
  void DrawPage(TppPage* page);

  void Notify(TppCommunicator* sender, int operation) override;

  TDeviceEvent OnCancelJob;
  TDeviceEvent OnPageRequest;
  TPageEvent OnPageReceive;
  TDeviceEvent OnStartJob;
  TDeviceEvent OnEndJob;
  TDeviceEvent OnPublisherChange;

protected:
  // Sets the status and passes it on to the progress target when it
  // differs from the text shown there last.
  void ShowProgress(const std::string& text);

private:
  friend class TppPublisher;
  bool active = true;
  bool jobRunning = false;
  bool skipPage = false;
  bool pageRequested = false;
  TppPageRequest pageRequest;
  TppPublisher* publisher = nullptr;
  bool grouped = false;
  std::string groupKey;
  std::string status;
  TProgressTarget progressTarget;
  std::string progressShown;
  bool requestOutstanding = true;
};

class TppRasterDevice : public TppDevice {
  RTL_DECLARE_CLASS(TppRasterDevice, TppDevice)
  using TppDevice::TppDevice;
};

// The device classes by type name ("Screen", "Printer", ...).
void ppRegisterDevice(const TClassInfo& deviceClass);
void ppUnRegisterDevice(const TClassInfo& deviceClass);
// Each registered class's DeviceName; ppGetDeviceClass gives a name's class.
void ppGetDeviceNames(TStrings& list);
// nullptr when no registered class has the name (ignoring case).
const TClassInfo* ppGetDeviceClass(const std::string& deviceName);
