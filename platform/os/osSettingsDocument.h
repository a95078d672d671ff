#pragma once
// The settings store's content: keys (backslash-separated paths below the
// user's root, compared ignoring ASCII case) holding typed named values.
//
// Text form, one file, UTF-8, LF line ends:
//   ; comment lines (';' or '#') and blank lines are ignored, not kept
//   [Software\Morvane\Orvelle\Settings]     a key, one section per key
//   PoolTimeout=integer:500                 a 32-bit signed integer
//   DataPath=string:/home/me/data           a string, taken byte for byte
// In key and value names the bytes '%', '=', '[', ']', ';', '#' and controls
// are written as %XX; in string data '%' and controls are. An empty value
// name is the key's default value. Nothing is trimmed.

#include <cstdint>
#include <string>
#include <vector>

#include "rtlExceptions.h"

// The settings store's errors, worded like the class library's registry.
RTL_EXCEPTION_CLASS(ERegistryException, Exception);
// A settings file that cannot be understood; the file is left untouched.
RTL_EXCEPTION_CLASS(ESettingsFormatError, ERegistryException);

enum class TSettingsKind { Integer, String };

struct TSettingsValue {
  std::string Name;
  TSettingsKind Kind = TSettingsKind::String;
  int32_t Integer = 0;
  std::string Text;
};

struct TSettingsKey {
  std::string Path;
  std::vector<TSettingsValue> Values;

  TSettingsValue* FindValue(const std::string& name);
  const TSettingsValue* FindValue(const std::string& name) const;
  // Replaces a value of the same name in place, else appends.
  void SetValue(TSettingsValue value);
  bool DeleteValue(const std::string& name);
};

class TSettingsDocument {
public:
  // An ESettingsFormatError names the first line that is not understood.
  static TSettingsDocument Parse(const std::string& text);
  std::string Text() const;

  TSettingsKey* FindKey(const std::string& path);
  // A key exists when it, or a key below it, is stored.
  bool KeyExists(const std::string& path) const;
  TSettingsKey& AddKey(const std::string& path);

private:
  std::vector<TSettingsKey> keys;
};

// "A\\B\" and "\A\B" both give "A\B": empty parts are dropped.
std::string NormalizeKeyPath(const std::string& path);
bool SameSettingsName(const std::string& a, const std::string& b);
