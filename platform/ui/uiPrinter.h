#pragma once
// The printers of a CUPS server as the report layer sees them: each queue
// with its papers (named and coded as Windows drivers code them), input
// bins, resolutions and copy limit, read from the queue's IPP attributes.

#include <string>
#include <vector>

#include "rtlExceptions.h"

RTL_EXCEPTION_CLASS(EPrinterError, Exception);

struct TPrinterPaperInfo {
  std::string Name;
  int Code = 0;     // Windows paper code; 257 and up for sizes without one
  int Width = 0;    // tenths of a millimetre
  int Height = 0;
  std::string Keyword;  // the IPP media name
};

struct TPrinterBinInfo {
  std::string Name;
  int Code = 0;     // Windows bin code; 257 and up for other sources
  std::string Keyword;
};

struct TPrinterQueueInfo {
  std::string Name;
  std::string Info;
  std::string Location;
  std::vector<TPrinterPaperInfo> Papers;
  std::vector<TPrinterBinInfo> Bins;
  std::vector<int> Resolutions;  // dots per inch
  int DefaultResolution = 0;     // 0: the queue names none
  int MaxCopies = 1;
  bool Color = true;
  // A queue another server shares to this one (reached over the network).
  bool Remote = false;
  std::string DefaultMedia;
};

// The queues of a server ("" the configured one; a path is a local
// socket). EPrinterError when the server cannot be asked.
std::vector<TPrinterQueueInfo> EnumPrinterQueues(const std::string& server = {});
// The user's default queue there; empty when there is none.
std::string DefaultPrinterQueue(const std::string& server = {});

// How IPP keywords map to papers and bins; `userIndex` numbers the ones
// without a Windows code. Media without a size ("custom_min_...") give an
// entry with code 0.
TPrinterPaperInfo PaperFromMediaKeyword(const std::string& keyword, int userIndex);
TPrinterBinInfo BinFromSourceKeyword(const std::string& keyword, int userIndex);
