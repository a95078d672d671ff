#pragma once
// The base of every report that prints: it owns the printer setup and the
// publisher, runs the print dialog, chooses the device and lets the devices
// ask for pages, which the engine of the report generates.

#include <functional>
#include <memory>
#include <string>

#include "ppRelatv.h"

class TppDevice;
class TppPageRequest;
class TppPrinterSetup;
class TppPublisher;

class TppProducer : public TppRelative {
  RTL_DECLARE_CLASS(TppProducer, TppRelative)

  explicit TppProducer(TComponent* owner);
  ~TppProducer() override;

  TppPrinterSetup* PrinterSetup() const { return printerSetup.get(); }
  // Ignored while printing.
  void SetPrinterSetup(TppPrinterSetup* value);
  TppPublisher* Publisher() const { return publisher.get(); }

  const std::string& DeviceType() const { return deviceType; }
  void SetDeviceType(const std::string& value);
  bool ShowPrintDialog() const { return showPrintDialog; }
  void SetShowPrintDialog(bool value);
  bool Printing() const { return printing; }
  bool CachePages() const;
  void SetCachePages(bool value);

  // The print dialog (when set), then the chosen device gets every page.
  // False when the dialog was cancelled or no device of the type exists.
  bool Print();
  // Lets the devices already attached to the publisher ask for pages.
  void PrintToDevices();

  std::function<void(TppProducer* sender)> OnPrintingComplete;

protected:
  // The engine's entry: generate what the publisher could not serve.
  virtual void ServePageRequest(TppPageRequest& request) = 0;
  // The run starts afresh (layout or data changed).
  virtual void ResetEngine() = 0;

private:
  std::unique_ptr<TppPrinterSetup> printerSetup;
  std::unique_ptr<TppPublisher> publisher;
  std::string deviceType = "Screen";
  bool showPrintDialog = true;
  bool printing = false;
};
