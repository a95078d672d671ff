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

// Empty when dateTime <= 0 or style > 4. Styles: 0 "yyyy/mm/dd HH:nn:ss.zzz",
// 1 "yyyy/mm/dd hh:nn:ss", 2 the short date format + " hh:mm:ss", 3 "nn:ss",
// 4 "yyyy/mm/dd hh:nn".
// "/" and ":" stand for the settings' date and time separators.
std::string FormatDateTimeStyle(int style, TDateTime dateTime, const TFormatSettings& settings);
std::string FormatNowStyle(int style, const TFormatSettings& settings);

std::string FormatByteSize(uint64_t bytes, bool allowMb);
std::string InsertThousandSeparators(int32_t n);

std::string PrinterAttributeText(uint32_t attributes);
std::string PrinterStatusText(uint32_t attributes, uint32_t status);
std::string JobStatusText(uint32_t status, bool allFlags);
std::string JoinTexts(const std::string& a, const std::string& separator, const std::string& b);

// The n-th (from 1) field of a comma-separated line, quotes stripped; empty
// when the line has fewer fields.
std::string GetCSVField(std::string_view line, int n);
// Skips leading blanks, returns the text up to the next comma and moves p
// past that comma (to the end when there is none).
std::string NextCSVToken(std::string_view& p);

// A UTC time as local date-time; 0 when it is no valid time.
TDateTime SystemTimeToLocalDateTime(const SystemTime& time);

// Created anew when create is true or the file is missing, else opened for
// reading and writing; positioned at its end.
std::unique_ptr<TFileStream> OpenAppendStream(const std::string& fileName, bool create);

// Creates DataPath with its missing parents.
void ForceDataDirectory();

// The printers (or servers) that the spooler lists; ESysError on failure.
void EnumPrintersBuffer(uint32_t flags, const std::string& name, std::vector<PrinterInfo1>& printers);
void EnumPrintersBuffer(uint32_t flags, const std::string& name, std::vector<PrinterInfo2>& printers);

// The default printer's name; "No default printer" and an alert when none.
std::string GetDefaultPrinter();

// Opens with all access, else with use access; raises "OpenPrinter failed:..."
// when both fail. Returns true with the handle.
bool OpenPrinterChecked(const std::string& name, PrinterHandle& handle);
