#pragma once
// Reads of a CUPS server's printers and jobs as level-2 records.

#include <string>
#include <unordered_map>
#include <vector>

#include "splCupsSession.h"
#include "splState.h"

// Server: the Windows-style name the server's printers are named under.
OsError CupsReadPrinters(TCupsSession& Session, const std::string& Server, std::vector<PrinterInfo2>& Printers);
OsError CupsReadPrinter(TCupsSession& Session, const std::string& Server, const std::string& Queue,
                        PrinterInfo2& Printer);

enum class CupsJobs : uint8_t { NotCompleted, Completed };

// The jobs of Printers (all of the server's printers when Queue is empty,
// else of that queue), in the server's order, from job id FirstJobId on.
// Jobs of printers not in Printers are left out. Positions count per
// printer from 1. Index, when given, finds a printer of Printers by its
// queue name in lower case (LowerSpoolName).
using CupsPrinterIndex = std::unordered_map<std::string, size_t>;
OsError CupsReadJobs(TCupsSession& Session, const std::vector<PrinterInfo2>& Printers, const std::string& Queue,
                     CupsJobs Which, uint32_t FirstJobId, std::vector<SpoolJobState>& Jobs,
                     const CupsPrinterIndex* Index = nullptr);
// Index of Printers for CupsReadJobs.
CupsPrinterIndex CupsIndexPrinters(const std::vector<PrinterInfo2>& Printers);
