#include "osSettingsRegistry.h"

#include "osSettingsStore.h"

namespace {

[[noreturn]] void RaiseGetDataFailed(const std::string& name) {
  throw ERegistryException(Format("Failed to get data for '%s'", {name}));
}

[[noreturn]] void RaiseInvalidType(const std::string& name) {
  throw ERegistryException(Format("Invalid data type for '%s'", {name}));
}

TRegDataInfo DataInfoOf(const TSettingsValue& value) {
  if (value.Kind == TSettingsKind::Integer) return {rdInteger, 4};
  return {rdString, static_cast<int>(value.Text.size()) + 1};
}

}  // namespace

std::string TRegistry::ResolveKey(const std::string& key) const {
  bool relative = key.empty() || key.front() != '\\';
  if (relative && keyOpen) return NormalizeKeyPath(currentPath + "\\" + key);
  return NormalizeKeyPath(key);
}

bool TRegistry::Open(const std::string& key, TKeyOpening opening) {
  std::string path = ResolveKey(key);
  if (!LoadSettings().KeyExists(path)) {
    if (opening != TKeyOpening::CreateMissing) return false;
    try {
      UpdateSettings([&](TSettingsDocument& document) {
        if (!document.KeyExists(path)) document.AddKey(path);
      });
    } catch (const EOSError&) {
      return false;
    }
  }
  keyOpen = true;
  readOnly = opening == TKeyOpening::ReadOnly;
  currentPath = path;
  return true;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  return Open(key, canCreate ? TKeyOpening::CreateMissing : TKeyOpening::Existing);
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) { return Open(key, TKeyOpening::ReadOnly); }

void TRegistry::CloseKey() {
  keyOpen = false;
  readOnly = false;
  currentPath.clear();
}

bool TRegistry::KeyExists(const std::string& key) const {
  return LoadSettings().KeyExists(ResolveKey(key));
}

std::optional<TSettingsValue> TRegistry::FindValue(const std::string& name) const {
  if (!keyOpen) return std::nullopt;
  TSettingsDocument document = LoadSettings();
  const TSettingsKey* key = document.FindKey(currentPath);
  const TSettingsValue* value = key ? key->FindValue(name) : nullptr;
  if (!value) return std::nullopt;
  return *value;
}

bool TRegistry::GetDataInfo(const std::string& name, TRegDataInfo& info) const {
  info = TRegDataInfo{};
  std::optional<TSettingsValue> value = FindValue(name);
  if (value) info = DataInfoOf(*value);
  return value.has_value();
}

bool TRegistry::ValueExists(const std::string& name) const {
  TRegDataInfo info;
  return GetDataInfo(name, info);
}

int TRegistry::GetDataSize(const std::string& name) const {
  TRegDataInfo info;
  return GetDataInfo(name, info) ? info.DataSize : -1;
}

void TRegistry::GetValueNames(std::vector<std::string>& names) const {
  names.clear();
  if (!keyOpen) return;
  TSettingsDocument document = LoadSettings();
  if (const TSettingsKey* key = document.FindKey(currentPath))
    for (const TSettingsValue& value : key->Values) names.push_back(value.Name);
}

int32_t TRegistry::ReadInteger(const std::string& name) const {
  std::optional<TSettingsValue> value = FindValue(name);
  if (!value) RaiseGetDataFailed(name);
  if (value->Kind != TSettingsKind::Integer) RaiseInvalidType(name);
  return value->Integer;
}

bool TRegistry::ReadBool(const std::string& name) const { return ReadInteger(name) != 0; }

std::string TRegistry::ReadString(const std::string& name) const {
  std::optional<TSettingsValue> value = FindValue(name);
  if (!value) return {};
  if (value->Kind != TSettingsKind::String) RaiseInvalidType(name);
  return value->Text;
}

void TRegistry::PutValue(TSettingsValue value) {
  std::string name = value.Name;
  if (!keyOpen || readOnly) throw ERegistryException(Format("Failed to set data for '%s'", {name}));
  try {
    UpdateSettings([&](TSettingsDocument& document) { document.AddKey(currentPath).SetValue(value); });
  } catch (const EOSError&) {
    throw ERegistryException(Format("Failed to set data for '%s'", {name}));
  }
}

void TRegistry::WriteInteger(const std::string& name, int32_t value) {
  PutValue(TSettingsValue{name, TSettingsKind::Integer, value, {}});
}

void TRegistry::WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  PutValue(TSettingsValue{name, TSettingsKind::String, 0, value});
}

bool TRegistry::DeleteValue(const std::string& name) {
  if (!keyOpen || readOnly || !FindValue(name)) return false;
  bool deleted = false;
  try {
    UpdateSettings([&](TSettingsDocument& document) {
      if (TSettingsKey* key = document.FindKey(currentPath)) deleted = key->DeleteValue(name);
    });
  } catch (const EOSError&) {
    return false;
  }
  return deleted;
}
