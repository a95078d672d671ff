#pragma once
// The spooler's numbers under their Windows names and values, so that the
// monitoring code reads the same bits and field codes the design names.

#include <cstdint>

#include "splErrors.h"

// EnumPrinters flags.
inline constexpr uint32_t PRINTER_ENUM_DEFAULT = 0x1;
inline constexpr uint32_t PRINTER_ENUM_LOCAL = 0x2;
inline constexpr uint32_t PRINTER_ENUM_CONNECTIONS = 0x4;
inline constexpr uint32_t PRINTER_ENUM_NAME = 0x8;
inline constexpr uint32_t PRINTER_ENUM_REMOTE = 0x10;
inline constexpr uint32_t PRINTER_ENUM_SHARED = 0x20;
inline constexpr uint32_t PRINTER_ENUM_NETWORK = 0x40;
inline constexpr uint32_t PRINTER_ENUM_EXPAND = 0x4000;
inline constexpr uint32_t PRINTER_ENUM_CONTAINER = 0x8000;
inline constexpr uint32_t PRINTER_ENUM_ICON8 = 0x800000;

// OpenPrinter access rights.
inline constexpr uint32_t PRINTER_ACCESS_ADMINISTER = 0x4;
inline constexpr uint32_t PRINTER_ACCESS_USE = 0x8;
inline constexpr uint32_t STANDARD_RIGHTS_REQUIRED = 0xF0000;
inline constexpr uint32_t PRINTER_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | PRINTER_ACCESS_ADMINISTER | PRINTER_ACCESS_USE;

// PRINTER_INFO_2 Attributes.
inline constexpr uint32_t PRINTER_ATTRIBUTE_QUEUED = 0x1;
inline constexpr uint32_t PRINTER_ATTRIBUTE_DIRECT = 0x2;
inline constexpr uint32_t PRINTER_ATTRIBUTE_DEFAULT = 0x4;
inline constexpr uint32_t PRINTER_ATTRIBUTE_SHARED = 0x8;
inline constexpr uint32_t PRINTER_ATTRIBUTE_NETWORK = 0x10;
inline constexpr uint32_t PRINTER_ATTRIBUTE_HIDDEN = 0x20;
inline constexpr uint32_t PRINTER_ATTRIBUTE_LOCAL = 0x40;
inline constexpr uint32_t PRINTER_ATTRIBUTE_WORK_OFFLINE = 0x400;

// PRINTER_INFO_2 Status.
inline constexpr uint32_t PRINTER_STATUS_PAUSED = 0x1;
inline constexpr uint32_t PRINTER_STATUS_ERROR = 0x2;
inline constexpr uint32_t PRINTER_STATUS_PENDING_DELETION = 0x4;
inline constexpr uint32_t PRINTER_STATUS_PAPER_JAM = 0x8;
inline constexpr uint32_t PRINTER_STATUS_PAPER_OUT = 0x10;
inline constexpr uint32_t PRINTER_STATUS_MANUAL_FEED = 0x20;
inline constexpr uint32_t PRINTER_STATUS_PAPER_PROBLEM = 0x40;
inline constexpr uint32_t PRINTER_STATUS_OFFLINE = 0x80;
inline constexpr uint32_t PRINTER_STATUS_IO_ACTIVE = 0x100;
inline constexpr uint32_t PRINTER_STATUS_BUSY = 0x200;
inline constexpr uint32_t PRINTER_STATUS_PRINTING = 0x400;
inline constexpr uint32_t PRINTER_STATUS_OUTPUT_BIN_FULL = 0x800;
inline constexpr uint32_t PRINTER_STATUS_NOT_AVAILABLE = 0x1000;
inline constexpr uint32_t PRINTER_STATUS_WAITING = 0x2000;
inline constexpr uint32_t PRINTER_STATUS_PROCESSING = 0x4000;
inline constexpr uint32_t PRINTER_STATUS_INITIALIZING = 0x8000;
inline constexpr uint32_t PRINTER_STATUS_WARMING_UP = 0x10000;
inline constexpr uint32_t PRINTER_STATUS_TONER_LOW = 0x20000;
inline constexpr uint32_t PRINTER_STATUS_NO_TONER = 0x40000;
inline constexpr uint32_t PRINTER_STATUS_PAGE_PUNT = 0x80000;
inline constexpr uint32_t PRINTER_STATUS_USER_INTERVENTION = 0x100000;
inline constexpr uint32_t PRINTER_STATUS_OUT_OF_MEMORY = 0x200000;
inline constexpr uint32_t PRINTER_STATUS_DOOR_OPEN = 0x400000;
inline constexpr uint32_t PRINTER_STATUS_SERVER_UNKNOWN = 0x800000;
inline constexpr uint32_t PRINTER_STATUS_POWER_SAVE = 0x1000000;

// JOB_INFO_2 Status.
inline constexpr uint32_t JOB_STATUS_PAUSED = 0x1;
inline constexpr uint32_t JOB_STATUS_ERROR = 0x2;
inline constexpr uint32_t JOB_STATUS_DELETING = 0x4;
inline constexpr uint32_t JOB_STATUS_SPOOLING = 0x8;
inline constexpr uint32_t JOB_STATUS_PRINTING = 0x10;
inline constexpr uint32_t JOB_STATUS_OFFLINE = 0x20;
inline constexpr uint32_t JOB_STATUS_PAPEROUT = 0x40;
inline constexpr uint32_t JOB_STATUS_PRINTED = 0x80;
inline constexpr uint32_t JOB_STATUS_DELETED = 0x100;
inline constexpr uint32_t JOB_STATUS_BLOCKED_DEVQ = 0x200;
inline constexpr uint32_t JOB_STATUS_USER_INTERVENTION = 0x400;
inline constexpr uint32_t JOB_STATUS_RESTART = 0x800;

// Change conditions (FindFirstPrinterChangeNotification filter and the
// change word of FindNextPrinterChangeNotification).
inline constexpr uint32_t PRINTER_CHANGE_ADD_PRINTER = 0x1;
inline constexpr uint32_t PRINTER_CHANGE_SET_PRINTER = 0x2;
inline constexpr uint32_t PRINTER_CHANGE_DELETE_PRINTER = 0x4;
inline constexpr uint32_t PRINTER_CHANGE_PRINTER = 0xFF;
inline constexpr uint32_t PRINTER_CHANGE_ADD_JOB = 0x100;
inline constexpr uint32_t PRINTER_CHANGE_SET_JOB = 0x200;
inline constexpr uint32_t PRINTER_CHANGE_DELETE_JOB = 0x400;
inline constexpr uint32_t PRINTER_CHANGE_WRITE_JOB = 0x800;
inline constexpr uint32_t PRINTER_CHANGE_JOB = 0xFF00;
inline constexpr uint32_t PRINTER_CHANGE_ALL = 0x7777FFFF;

// Notify options and info.
inline constexpr uint16_t PRINTER_NOTIFY_TYPE = 0;
inline constexpr uint16_t JOB_NOTIFY_TYPE = 1;
inline constexpr uint32_t PRINTER_NOTIFY_OPTIONS_REFRESH = 0x1;
inline constexpr uint32_t PRINTER_NOTIFY_INFO_DISCARDED = 0x1;

inline constexpr uint16_t PRINTER_NOTIFY_FIELD_SERVER_NAME = 0x00;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_PRINTER_NAME = 0x01;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_SHARE_NAME = 0x02;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_PORT_NAME = 0x03;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_DRIVER_NAME = 0x04;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_COMMENT = 0x05;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_LOCATION = 0x06;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_DEVMODE = 0x07;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_SEPFILE = 0x08;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_PRINT_PROCESSOR = 0x09;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_PARAMETERS = 0x0A;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_DATATYPE = 0x0B;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_SECURITY_DESCRIPTOR = 0x0C;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_ATTRIBUTES = 0x0D;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_PRIORITY = 0x0E;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_DEFAULT_PRIORITY = 0x0F;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_START_TIME = 0x10;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_UNTIL_TIME = 0x11;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_STATUS = 0x12;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_STATUS_STRING = 0x13;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_CJOBS = 0x14;
inline constexpr uint16_t PRINTER_NOTIFY_FIELD_AVERAGE_PPM = 0x15;

inline constexpr uint16_t JOB_NOTIFY_FIELD_PRINTER_NAME = 0x00;
inline constexpr uint16_t JOB_NOTIFY_FIELD_MACHINE_NAME = 0x01;
inline constexpr uint16_t JOB_NOTIFY_FIELD_PORT_NAME = 0x02;
inline constexpr uint16_t JOB_NOTIFY_FIELD_USER_NAME = 0x03;
inline constexpr uint16_t JOB_NOTIFY_FIELD_NOTIFY_NAME = 0x04;
inline constexpr uint16_t JOB_NOTIFY_FIELD_DATATYPE = 0x05;
inline constexpr uint16_t JOB_NOTIFY_FIELD_PRINT_PROCESSOR = 0x06;
inline constexpr uint16_t JOB_NOTIFY_FIELD_PARAMETERS = 0x07;
inline constexpr uint16_t JOB_NOTIFY_FIELD_DRIVER_NAME = 0x08;
inline constexpr uint16_t JOB_NOTIFY_FIELD_DEVMODE = 0x09;
inline constexpr uint16_t JOB_NOTIFY_FIELD_STATUS = 0x0A;
inline constexpr uint16_t JOB_NOTIFY_FIELD_STATUS_STRING = 0x0B;
inline constexpr uint16_t JOB_NOTIFY_FIELD_SECURITY_DESCRIPTOR = 0x0C;
inline constexpr uint16_t JOB_NOTIFY_FIELD_DOCUMENT = 0x0D;
inline constexpr uint16_t JOB_NOTIFY_FIELD_PRIORITY = 0x0E;
inline constexpr uint16_t JOB_NOTIFY_FIELD_POSITION = 0x0F;
inline constexpr uint16_t JOB_NOTIFY_FIELD_SUBMITTED = 0x10;
inline constexpr uint16_t JOB_NOTIFY_FIELD_START_TIME = 0x11;
inline constexpr uint16_t JOB_NOTIFY_FIELD_UNTIL_TIME = 0x12;
inline constexpr uint16_t JOB_NOTIFY_FIELD_TIME = 0x13;
inline constexpr uint16_t JOB_NOTIFY_FIELD_TOTAL_PAGES = 0x14;
inline constexpr uint16_t JOB_NOTIFY_FIELD_PAGES_PRINTED = 0x15;
inline constexpr uint16_t JOB_NOTIFY_FIELD_TOTAL_BYTES = 0x16;
inline constexpr uint16_t JOB_NOTIFY_FIELD_BYTES_PRINTED = 0x17;
