#pragma once
// Workload 8: one process appends rows one per write while a second one
// keeps reading the newest rows, each in a process of its own.

#include <string>

#include "benchStorageMeasure.h"

// Parent side: creates the table, starts the reader, then the writer, and
// hands on their measures. false (with the reason) when a side failed.
bool RunLiveWorkload(const std::string& engine, const std::string& folder, double scale, const TMeasureSink& sink,
                     std::string& failure);

// The roles of the child processes; exit codes.
int LiveCreate(const std::string& engine, const std::string& folder);
int LiveRead(const std::string& engine, const std::string& folder, const TBenchSizes& sizes, const TMeasureSink& sink);
int LiveWrite(const std::string& engine, const std::string& folder, const TBenchSizes& sizes,
              const TMeasureSink& sink);
