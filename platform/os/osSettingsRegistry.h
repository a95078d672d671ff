#pragma once
// The class library's registry class over the settings store. Only the
// current user's root exists. Reads see the file as it is at each call;
// each write reaches the file before the call returns.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "osSettingsDocument.h"

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

struct TRegDataInfo {
  TRegDataType RegData = rdUnknown;
  int DataSize = 0;  // bytes, a string's terminating zero included
};

class TRegistry {
public:
  TRegistry() = default;
  virtual ~TRegistry() = default;
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  // The open key's path without a leading backslash; empty when none is open.
  const std::string& CurrentPath() const { return currentPath; }

  // A key starting with "\" is taken from the root, any other below the
  // open key. False when the key is missing (and not to be created) or
  // cannot be created. A damaged settings file raises ESettingsFormatError.
  bool OpenKey(const std::string& key, bool canCreate);
  bool OpenKeyReadOnly(const std::string& key);
  void CloseKey();
  bool KeyExists(const std::string& key) const;

  bool ValueExists(const std::string& name) const;
  bool GetDataInfo(const std::string& name, TRegDataInfo& info) const;
  // -1 when the value is missing.
  int GetDataSize(const std::string& name) const;
  void GetValueNames(std::vector<std::string>& names) const;

  // ERegistryException "Failed to get data for '%s'" when missing,
  // "Invalid data type for '%s'" when of another type.
  int32_t ReadInteger(const std::string& name) const;
  bool ReadBool(const std::string& name) const;
  // Empty when missing.
  std::string ReadString(const std::string& name) const;

  // ERegistryException "Failed to set data for '%s'" when no key is open
  // for writing or the store cannot be written.
  void WriteInteger(const std::string& name, int32_t value);
  void WriteBool(const std::string& name, bool value);
  void WriteString(const std::string& name, const std::string& value);
  bool DeleteValue(const std::string& name);

private:
  bool keyOpen = false;
  bool readOnly = false;
  std::string currentPath;

  std::string ResolveKey(const std::string& key) const;
  // How a key is opened: a missing one made or not, writes allowed or not.
  enum class TKeyOpening { Existing, CreateMissing, ReadOnly };
  bool Open(const std::string& key, TKeyOpening opening);
  std::optional<TSettingsValue> FindValue(const std::string& name) const;
  void PutValue(TSettingsValue value);
};
