#pragma once
// Paths, texts and small spooler helpers that the monitoring core and the
// windows share.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtlDateTime.h"
#include "rtlFormatSettings.h"
#include "splTypes.h"

class TFileStream;

// The program's folder with and without a trailing "/", the data folder
// (DataPath under the settings key, else the program's folder + "DATA"),
// the jobs table's password (DataPswd, else empty) and its file name.
// Set by InitializeTools.
extern std::string ProgramPath;
extern std::string ProgramDir;
extern std::string DataPath;
extern std::string DataPassword;
extern const std::string JobsFileName;

// Reads the folders and the settings above; the settings key is only read,
// never created.
void InitializeTools();

// "\\" and the computer's name.
std::string GetComputerUNCName();

// Empty when DateTime <= 0 or Style > 4. Styles: 0 "yyyy/mm/dd HH:nn:ss.zzz",
// 1 "yyyy/mm/dd hh:nn:ss", 2 the short date format + " hh:mm:ss", 3 "nn:ss",
// 4 "yyyy/mm/dd hh:nn".
// "/" and ":" stand for the settings' date and time separators.
std::string FormatDateTimeStyle(int Style, TDateTime DateTime, const TFormatSettings& Settings);
std::string FormatNowStyle(int Style, const TFormatSettings& Settings);

std::string FormatByteSize(uint64_t Bytes, bool AllowMB);
std::string InsertThousandSeparators(int32_t N);

std::string PrinterAttributeText(uint32_t Attributes);
std::string PrinterStatusText(uint32_t Attributes, uint32_t Status);
std::string JobStatusText(uint32_t Status, bool AllFlags);
std::string JoinTexts(const std::string& A, const std::string& Separator, const std::string& B);

// The N-th (from 1) field of a comma-separated line, quotes stripped; empty
// when the line has fewer fields.
std::string GetCSVField(std::string_view Line, int N);
// Skips leading blanks, returns the text up to the next comma and moves P
// past that comma (to the end when there is none).
std::string NextCSVToken(std::string_view& P);

// A UTC time as local date-time; 0 when it is no valid time.
TDateTime SystemTimeToLocalDateTime(const SystemTime& Time);

// Created anew when Create is true or the file is missing, else opened for
// reading and writing; positioned at its end.
std::unique_ptr<TFileStream> OpenAppendStream(const std::string& FileName, bool Create);

// Creates DataPath with its missing parents.
void ForceDataDirectory();

// The printers (or servers) that the spooler lists; ESysError on failure.
void EnumPrintersBuffer(uint32_t Flags, const std::string& Name, std::vector<PrinterInfo1>& Printers);
void EnumPrintersBuffer(uint32_t Flags, const std::string& Name, std::vector<PrinterInfo2>& Printers);

// The default printer's name; "No default printer" and an alert when none.
std::string GetDefaultPrinter();

// Opens with all access, else with use access; raises "OpenPrinter failed:..."
// when both fail. Returns true with the handle.
bool OpenPrinterChecked(const std::string& Name, PrinterHandle& Handle);
