#include "ppArchiveDevice.h"

#include <unistd.h>


#include "ppDrwCmd.h"
#include "ppMessages.h"
#include "ppPage.h"
#include "ppUtils.h"
#include "rtlAssert.h"
#include "rtlReader.h"
#include "rtlStreams.h"
#include "rtlWriter.h"

RTL_DEFINE_CLASS(TppArchiveDevice)

namespace {

// Temporary files of page data start with it.
constexpr const char* pageDataPrefix = "arc";
constexpr int64_t headerBytes = 4;
constexpr int64_t indexEntryBytes = 8;

void PutInt32(uint8_t* at, int64_t value) {
  const auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

int64_t GetInt32(const uint8_t* at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(at[i]) << (8 * i);
  return static_cast<int32_t>(v);
}

}  // namespace

// ---- TppArchiveDevice ----

TppArchiveDevice::TppArchiveDevice(TComponent* owner) : TppFileDevice(owner) {}

TppArchiveDevice::~TppArchiveDevice() {
  try {
    if (OutputStream()) EndJob();
  } catch (const Exception&) {
    // A destructor cannot report it; the temporary file goes regardless.
  }
  RemovePageData();
}

std::string TppArchiveDevice::FileFilter() const { return "Archive files|*.RAF|All files|*.*"; }
std::string TppArchiveDevice::DeviceDescription() const { return ppLoadMessage(34); }

void TppArchiveDevice::RemovePageData() {
  pageData.reset();
  if (!pageDataName.empty()) unlink(pageDataName.c_str());
  pageDataName.clear();
}

void TppArchiveDevice::StartJob() {
  if (JobRunning()) return;
  inherited::StartJob();
  if (!OutputStream()) return;
  try {
    pageDataName = ppGetTempFileName(ppGetTempPath(), pageDataPrefix);
    pageData = std::make_unique<TFileStream>(pageDataName, fmOpenReadWrite);
  } catch (...) {
    RemovePageData();
    CancelJob();
    throw;
  }
  // The header is filled in at the end.
  OutputStream()->SetPosition(headerBytes);
}

void TppArchiveDevice::ReceivePage(TppPage* page) {
  inherited::ReceivePage(page);
  if (!PageRequested()) return;
  ShowStatus(page);
  if (SkipPage() || !pageData) return;
  // An outline stays only on the last page.
  if (TppDrawCommand* outline = page->FindOutline(); outline && !page->LastPage) {
    outline->SetPage(nullptr);
    outline->Free();
  }
  // The page whole in memory first: one write to the temporary file.
  TMemoryStream stream;
  {
    TWriter writer(stream);
    writer.WriteRootComponent(page);
  }
  uint8_t entry[indexEntryBytes];
  PutInt32(entry, pageData->Position());
  PutInt32(entry + 4, page->AbsolutePageNo);
  Write(entry, indexEntryBytes);
  pageData->WriteBuffer(stream.Memory(), stream.Size());
}

void TppArchiveDevice::EndJob() {
  if (OutputStream() && pageData) {
    try {
      TFileStream& output = *OutputStream();
      const int64_t dataOffset = output.Position();
      pageData->SetPosition(0);
      output.CopyFrom(*pageData, 0);
      output.SetPosition(0);
      uint8_t header[headerBytes];
      PutInt32(header, dataOffset);
      Write(header, headerBytes);
    } catch (...) {
      RemovePageData();
      inherited::EndJob();
      throw;
    }
  }
  RemovePageData();
  inherited::EndJob();
}

// ---- TppArchiveReader ----

TppArchiveReader::TppArchiveReader(const std::string& name) : fileName(name) {
  try {
    file = std::make_unique<TFileStream>(fileName, fmOpenRead);
  } catch (const Exception& e) {
    throw EArchiveError(e.Message);
  }
  const int64_t size = file->Size();
  uint8_t header[headerBytes];
  if (size < headerBytes || file->Read(header, headerBytes) != headerBytes) Damaged("it is shorter than its header");
  const int64_t dataOffset = GetInt32(header);
  if (dataOffset < headerBytes || (dataOffset - headerBytes) % indexEntryBytes != 0 || dataOffset > size)
    Damaged("its index does not fit the file");
  const int64_t count = (dataOffset - headerBytes) / indexEntryBytes;
  std::vector<uint8_t> index(static_cast<size_t>(count * indexEntryBytes));
  if (file->Read(index.data(), static_cast<int64_t>(index.size())) != static_cast<int64_t>(index.size()))
    Damaged("its index cannot be read");
  const int64_t dataSize = size - dataOffset;
  for (int64_t i = 0; i < count; ++i) {
    const int64_t position = GetInt32(&index[static_cast<size_t>(i * indexEntryBytes)]);
    // Pages follow one another from the start of the page data.
    const int64_t expectedMin = entries.empty() ? 0 : entries.back().Position - dataOffset + 1;
    if ((entries.empty() && position != 0) || position < expectedMin || position >= dataSize)
      Damaged("page " + std::to_string(i + 1) + " lies outside the page data");
    if (!entries.empty()) entries.back().Length = dataOffset + position - entries.back().Position;
    entries.push_back(TEntry{dataOffset + position, 0,
                             static_cast<int>(GetInt32(&index[static_cast<size_t>(i * indexEntryBytes + 4)]))});
  }
  if (!entries.empty()) entries.back().Length = size - entries.back().Position;
  // A reader needs the page and command classes registered.
  ppRegisterDrawCommandClasses();
}

TppArchiveReader::~TppArchiveReader() = default;

void TppArchiveReader::Damaged(const std::string& reason) const {
  throw EArchiveError("The archive file " + fileName + " is damaged: " + reason + ".");
}

int TppArchiveReader::PageNo(int index) const {
  ORV_ASSERT(index >= 0 && index < PageCount());
  return entries[static_cast<size_t>(index)].PageNo;
}

TObjectPtr<TppPage> TppArchiveReader::ReadPage(int index) {
  ORV_ASSERT(index >= 0 && index < PageCount());
  const TEntry& entry = entries[static_cast<size_t>(index)];
  const std::string which = "page " + std::to_string(index + 1);
  TMemoryStream stream;
  stream.SetSize(entry.Length);
  file->SetPosition(entry.Position);
  if (file->Read(stream.Memory(), entry.Length) != entry.Length) Damaged(which + " cannot be read");
  TObjectPtr<TppPage> page(new TppPage(nullptr));
  try {
    TReader reader(stream);
    reader.BoundComponentsByStreamSize();
    reader.ReadRootComponent(page.get());
  } catch (const Exception& e) {
    Damaged(which + ": " + e.Message);
  }
  if (stream.Position() != stream.Size()) Damaged(which + " does not end where the next begins");
  if (page->AbsolutePageNo != entry.PageNo) Damaged(which + " is not the page its index names");
  return page;
}
