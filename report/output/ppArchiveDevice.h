#pragma once
// The archive device keeps a report's pages, with all their draw commands,
// in one file, so that they can be shown or printed later without the
// report and its data; the archive reader gives them back.
//
// The file (integers 32-bit little-endian): the offset of the page data
// (4 + 8 x N), an index of N entries (the position of a page's stream
// counted from the start of the page data, the page's AbsolutePageNo) in
// the order the pages came, then the pages, each a binary component stream
// of its TppPage ("TPF0").

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ppFileDevice.h"
#include "rtlClasses.h"
#include "rtlExceptions.h"

class TFileStream;

RTL_EXCEPTION_CLASS(EArchiveError, Exception);

class TppArchiveDevice : public TppFileDevice {
  RTL_DECLARE_CLASS(TppArchiveDevice, TppFileDevice)

  explicit TppArchiveDevice(TComponent* owner);
  // A job still running is completed, and its temporary file removed.
  ~TppArchiveDevice() override;

  std::string DeviceName() const override { return "ArchiveFile"; }
  std::string DefaultExt() const override { return "raf"; }
  std::string FileFilter() const override;
  std::string DeviceDescription() const override;

  // Creates the archive and a temporary file for the page data.
  void StartJob() override;
  void ReceivePage(TppPage* page) override;
  // Puts the page data after the index, fills in the header, removes the
  // temporary file and closes the archive.
  void EndJob() override;

  // The temporary file of the running job; empty outside a job.
  const std::string& PageDataFileName() const { return pageDataName; }

private:
  std::unique_ptr<TFileStream> pageData;
  std::string pageDataName;

  void RemovePageData();
};

// Reads an archive file back. The whole file is checked as it is opened;
// a truncated or damaged file is refused with EArchiveError.
class TppArchiveReader {
public:
  explicit TppArchiveReader(const std::string& fileName);
  ~TppArchiveReader();

  int PageCount() const { return static_cast<int>(entries.size()); }
  // The AbsolutePageNo the index gives for the page at index.
  int PageNo(int index) const;
  // A new page (owned by the caller) with its draw commands; EArchiveError
  // when its stream is damaged.
  TObjectPtr<TppPage> ReadPage(int index);

private:
  struct TEntry {
    int64_t Position;  // in the file
    int64_t Length;
    int PageNo;
  };
  std::string fileName;
  std::unique_ptr<TFileStream> file;
  std::vector<TEntry> entries;

  [[noreturn]] void Damaged(const std::string& reason) const;
};
