#pragma once
// The base of the devices that write pages to a file: it owns the output
// file for the time of a job and writes to it all or nothing.

#include <memory>
#include <string>

#include "ppDevice.h"

class TFileStream;

class TppFileDevice : public TppDevice {
  RTL_DECLARE_CLASS(TppFileDevice, TppDevice)

  explicit TppFileDevice(TComponent* owner);
  // A job still running is ended first, so the file is complete.
  ~TppFileDevice() override;

  const std::string& FileName() const { return fileName; }
  // Ignored while a job runs.
  void SetFileName(const std::string& value);

  virtual std::string DefaultExt() const { return {}; }
  virtual std::string FileFilter() const { return {}; }
  virtual std::string DeviceDescription() const { return {}; }

  // Creates (or empties) the file; a file that cannot be made cancels the
  // job and raises EFCreateError.
  void StartJob() override;
  // Closes the file.
  void EndJob() override;
  // A cancelled job ends as any other: the file keeps what came so far.
  void CancelJob() override;
  // Writes all of buffer or raises EWriteError ("Stream write error").
  void Write(const void* buffer, int64_t count);
  void Write(const std::string& text) { Write(text.data(), static_cast<int64_t>(text.size())); }

protected:
  TFileStream* OutputStream() const { return output.get(); }
  // The progress text for a page that was asked for.
  void ShowStatus(TppPage* page);

private:
  std::string fileName;
  bool createFileAtStart = true;
  std::unique_ptr<TFileStream> output;
};

// Registers the text file, report text file and archive file devices.
void ppRegisterFileDevices();
void ppUnRegisterFileDevices();
