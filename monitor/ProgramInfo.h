#pragma once
// The running program: its file, version texts and compiled-in data.

#include <exception>
#include <string>

class TStream;

// The exception being handled, now owned by the caller; null outside a
// handler. The object stays alive as long as the pointer does, whatever
// happens to the handler that caught it.
std::exception_ptr AcquireExceptionObject();

// The full path of the running program; empty when it cannot be read.
std::string GetModuleFileNameStr();

// A value of the program's version texts ("FileDescription", ...), at most
// 999 characters; empty when there is none.
std::string GetVersionInfoValue(const std::string& name);

// Copies the RCDATA resource name whole into stream and rewinds it; false,
// with the stream untouched, when there is no such resource.
bool LoadRCDataToStream(const std::string& name, TStream& stream);
