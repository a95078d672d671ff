#pragma once
// The spooler's records as value types: the level-1 and level-2 printer
// records, the level-2 job record and the change-notification data.
// Names are Windows-style: a server is "\\HOST", a printer "\\HOST\queue".

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// 0 means no handle.
using PrinterHandle = uint32_t;
using ChangeHandle = uint32_t;

// A UTC point in time with the Windows SYSTEMTIME fields.
struct SystemTime {
  uint16_t Year = 0;
  uint16_t Month = 0;
  uint16_t DayOfWeek = 0;  // 0 = Sunday
  uint16_t Day = 0;
  uint16_t Hour = 0;
  uint16_t Minute = 0;
  uint16_t Second = 0;
  uint16_t Milliseconds = 0;
  bool operator==(const SystemTime&) const = default;
};

// All zero for unixMs <= 0.
SystemTime SystemTimeFromUnixMs(int64_t unixMs);

struct PrinterInfo1 {
  uint32_t Flags = 0;  // PRINTER_ENUM_CONTAINER for a print server
  std::string Description;
  std::string Name;
  std::string Comment;
  bool operator==(const PrinterInfo1&) const = default;
};

struct PrinterInfo2 {
  std::string ServerName;
  std::string PrinterName;
  std::string ShareName;
  std::string PortName;
  std::string DriverName;
  std::string Comment;
  std::string Location;
  std::string SepFile;
  std::string PrintProcessor;
  std::string Datatype;
  std::string Parameters;
  uint32_t Attributes = 0;  // PRINTER_ATTRIBUTE_
  uint32_t Priority = 0;
  uint32_t DefaultPriority = 0;
  uint32_t StartTime = 0;  // minutes after midnight UTC
  uint32_t UntilTime = 0;
  uint32_t Status = 0;  // PRINTER_STATUS_
  uint32_t cJobs = 0;
  uint32_t AveragePPM = 0;
  bool operator==(const PrinterInfo2&) const = default;
};

struct JobInfo2 {
  uint32_t JobId = 0;
  std::string PrinterName;
  std::string MachineName;
  std::string UserName;
  std::string Document;
  std::string NotifyName;
  std::string Datatype;
  std::string PrintProcessor;
  std::string Parameters;
  std::string DriverName;
  std::string StatusText;  // the spooler's status string, often empty
  uint32_t Status = 0;     // JOB_STATUS_
  uint32_t Priority = 0;
  uint32_t Position = 0;
  uint32_t StartTime = 0;
  uint32_t UntilTime = 0;
  uint32_t TotalPages = 0;
  uint32_t Size = 0;
  SystemTime Submitted;  // UTC
  uint32_t Time = 0;     // milliseconds since the job started printing
  uint32_t PagesPrinted = 0;
  bool operator==(const JobInfo2&) const = default;
};

// Which fields of which records a change notification reports.
struct PrinterNotifyOptionsType {
  uint16_t Type = 0;  // JOB_NOTIFY_TYPE or PRINTER_NOTIFY_TYPE
  std::vector<uint16_t> Fields;
};

struct PrinterNotifyOptions {
  uint32_t Version = 2;
  uint32_t Flags = 0;  // PRINTER_NOTIFY_OPTIONS_REFRESH
  std::vector<PrinterNotifyOptionsType> Types;
};

enum class NotifyDataKind : uint8_t { Number, Text, Time };

// One changed field: of the printer (Id unused, 0) or of job Id.
struct PrinterNotifyInfoData {
  uint16_t Type = 0;
  uint16_t Field = 0;
  uint32_t Id = 0;
  NotifyDataKind Kind = NotifyDataKind::Number;
  uint32_t Number = 0;
  std::string Text;
  SystemTime Time;  // JOB_NOTIFY_FIELD_SUBMITTED, UTC
  bool operator==(const PrinterNotifyInfoData&) const = default;
};

struct PrinterNotifyInfo {
  uint32_t Version = 2;
  uint32_t Flags = 0;  // PRINTER_NOTIFY_INFO_DISCARDED
  std::vector<PrinterNotifyInfoData> Data;
};
