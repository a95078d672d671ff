#pragma once
// The class library's Format: %[index:][-][width][.prec]type with the types
// d u e f g n m p s x (case does not matter), "*" taking a width or
// precision from the arguments, and %% for a percent sign.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "rtlCurrency.h"

struct TFormatSettings;

// One Format argument. Constructed implicitly from the argument, so a call
// reads Format("%s: %d", {name, count}). A bool promotes to an integer.
// String arguments are held by reference: a TVarRec lives no longer than
// the call it is built for.
class TVarRec {
public:
  enum Kind { vtInteger, vtInt64, vtUInt64, vtExtended, vtCurrency, vtString, vtChar, vtPointer };

  TVarRec(int v) : kind(vtInteger), i64(v) {}
  TVarRec(unsigned v) : kind(vtInt64), i64(v) {}
  TVarRec(long v) : kind(vtInt64), i64(v) {}
  TVarRec(long long v) : kind(vtInt64), i64(v) {}
  TVarRec(unsigned long v) : kind(vtUInt64), u64(v) {}
  TVarRec(unsigned long long v) : kind(vtUInt64), u64(v) {}
  TVarRec(double v) : kind(vtExtended), ext(v) {}
  TVarRec(long double v) : kind(vtExtended), ext(v) {}
  TVarRec(Currency v) : kind(vtCurrency), i64(v.Scaled) {}
  TVarRec(char v) : kind(vtChar), ch(v) {}
  TVarRec(const char* v) : kind(vtString), str(v ? v : "") {}
  TVarRec(const std::string& v) : kind(vtString), str(v) {}
  TVarRec(std::string_view v) : kind(vtString), str(v) {}
  TVarRec(const void* v) : kind(vtPointer), ptr(v) {}

  Kind VType() const { return kind; }
  bool IsWholeNumber() const { return kind == vtInteger || kind == vtInt64 || kind == vtUInt64; }
  int64_t AsInt64() const { return i64; }
  uint64_t AsUInt64() const { return u64; }
  long double AsExtended() const { return ext; }
  char AsChar() const { return ch; }
  std::string_view AsString() const { return str; }
  const void* AsPointer() const { return ptr; }

private:
  Kind kind;
  union {
    int64_t i64;
    uint64_t u64;
    long double ext;
    char ch;
    const void* ptr;
  };
  std::string_view str;
};

// Uses the neutral settings of language 0 for separators and currency.
std::string Format(std::string_view fmt, std::initializer_list<TVarRec> args);
std::string Format(std::string_view fmt, std::initializer_list<TVarRec> args,
                   const TFormatSettings& settings);
