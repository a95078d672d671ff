#pragma once
// The class library's exception hierarchy, as far as our code raises and
// catches it. Handlers sort exceptions by class, so each class reports its
// own name through ClassName().

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>

#include "rtlFormat.h"

class Exception : public std::exception {
public:
  std::string Message;
  int HelpContext = 0;

  explicit Exception(std::string message) : Message(std::move(message)) {}
  // Formats the message with the class library's format syntax.
  Exception(const std::string& fmt, std::initializer_list<TVarRec> args);
  ~Exception() override = default;

  const char* what() const noexcept override { return Message.c_str(); }
  virtual const char* ClassName() const { return "Exception"; }
};

#define RTL_EXCEPTION_CLASS(Name, Base)                          \
  class Name : public Base {                                     \
  public:                                                        \
    using Base::Base;                                            \
    const char* ClassName() const override { return #Name; }     \
  }

RTL_EXCEPTION_CLASS(EConvertError, Exception);
RTL_EXCEPTION_CLASS(EOutOfMemory, Exception);
RTL_EXCEPTION_CLASS(EListError, Exception);
RTL_EXCEPTION_CLASS(EStringListError, Exception);
RTL_EXCEPTION_CLASS(EStreamError, Exception);
RTL_EXCEPTION_CLASS(EFOpenError, EStreamError);
RTL_EXCEPTION_CLASS(EFCreateError, EStreamError);
RTL_EXCEPTION_CLASS(EReadError, EStreamError);
RTL_EXCEPTION_CLASS(EWriteError, EStreamError);
RTL_EXCEPTION_CLASS(EAbort, Exception);
RTL_EXCEPTION_CLASS(EInvalidOperation, Exception);
RTL_EXCEPTION_CLASS(EResNotFound, Exception);
RTL_EXCEPTION_CLASS(EDatabaseError, Exception);

class EOSError : public Exception {
public:
  uint32_t ErrorCode = 0;

  EOSError(std::string message, uint32_t errorCode)
      : Exception(std::move(message)), ErrorCode(errorCode) {}
  const char* ClassName() const override { return "EOSError"; }
};

// The silent exception: handlers that report errors let it pass unshown.
[[noreturn]] void Abort();

// The system's text for an errno value.
std::string SysErrorMessage(int errorCode);

// An EOSError for errno, worded like the class library's.
[[noreturn]] void RaiseLastOSError(int errorCode);
