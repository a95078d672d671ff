#pragma once
// A print server's state as the spooler's back ends publish it, and the
// notification data that the difference of two states makes.

#include <string>
#include <vector>

#include "splTypes.h"

struct SpoolJobState {
  JobInfo2 Info;
  uint32_t BytesPrinted = 0;  // a notification field, not part of level 2
};

struct SpoolPrinterState {
  PrinterInfo2 Info;                 // Info.PrinterName is the full name
  std::vector<SpoolJobState> Jobs;   // in queue order
};

struct SpoolServerState {
  std::vector<SpoolPrinterState> Printers;
};

// What changed on one printer: the PRINTER_CHANGE_ conditions and every
// changed field (printer fields with Id 0, job fields with the job's id).
struct SpoolEvent {
  std::string PrinterName;
  uint32_t Change = 0;
  std::vector<PrinterNotifyInfoData> Data;
};

// The events that lead from Before to After, one per printer that changed.
// A new printer or job reports all of its fields; a job that left the queue
// reports its last status with JOB_STATUS_DELETED added.
std::vector<SpoolEvent> DiffServerStates(const SpoolServerState& Before, const SpoolServerState& After);
// The event of one printer (Before null: a new one); Change 0 when nothing
// differs.
SpoolEvent DiffPrinterStates(const SpoolPrinterState* Before, const SpoolPrinterState& After);

// Every field of the record, in field-code order.
void AppendPrinterData(const PrinterInfo2& Info, std::vector<PrinterNotifyInfoData>& Data);
void AppendJobData(const SpoolJobState& Job, std::vector<PrinterNotifyInfoData>& Data);
