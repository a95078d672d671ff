#pragma once
// CUPS printer and job attributes as the spooler's level-2 records.

#include <cups/cups.h>

#include <map>
#include <string>
#include <vector>

#include "splState.h"

// One attribute group of an IPP message; valid while the message lives.
class TIppGroup {
 public:
  void Add(ipp_attribute_t* Attribute);
  std::string Text(const char* Name) const;
  int Integer(const char* Name, int Default = 0) const;
  bool Boolean(const char* Name, bool Default = false) const;
  std::vector<std::string> Keywords(const char* Name) const;
  bool Has(const char* Name) const { return attributes_.count(Name) != 0; }

 private:
  ipp_attribute_t* Find(const char* Name) const;
  std::map<std::string, ipp_attribute_t*> attributes_;
};

// The groups of that tag (IPP_TAG_PRINTER, IPP_TAG_JOB, ...) in order.
std::vector<TIppGroup> IppGroups(ipp_t* Message, ipp_tag_t Tag);

// The attributes the readers ask for.
extern const char* const PrinterAttributeNames[];
extern const size_t PrinterAttributeCount;
extern const char* const JobAttributeNames[];
extern const size_t JobAttributeCount;

uint32_t PrinterStatusFromIpp(int State, const std::vector<std::string>& Reasons, bool Accepting);
uint32_t JobStatusFromIpp(int State, const std::vector<std::string>& Reasons);

// Server: the Windows-style server name the printer is reached under.
PrinterInfo2 PrinterFromIpp(const TIppGroup& Printer, const std::string& Server);
// Printer: the job's printer as PrinterFromIpp made it.
SpoolJobState JobFromIpp(const TIppGroup& Job, const PrinterInfo2& Printer);

// The queue name of a printer URI ("ipp://host/printers/q" -> "q").
std::string QueueOfPrinterUri(const std::string& Uri);
