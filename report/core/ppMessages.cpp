#include "ppMessages.h"

#include <charconv>
#include <fstream>
#include <sstream>

#include "osProgram.h"

namespace {

constexpr const char* languageCodes[] = {"dft", "dan", "nld", "eng", "fra", "deu", "ita",
                                         "ptb", "ptg", "esp", "esm", "sve", "nor", "cst"};

// In the order they are tried when a text holds several at one place.
constexpr const char* placeholders[] = {
    "<page>", "<pagecount>", "<documentname>", "<printername>", "<columnno>", "<filename>",
    "<minbarwidth>", "<maxbarwidth>", "<character>", "<identifier>", "<name>", "<count>",
    "<message>", "<length>", "<no>"};

// A module larger than this is not a message table.
constexpr std::streamoff maxModuleSize = 4 << 20;

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 'n' ? '\n' : next == 't' ? '\t' : next;
  }
  return out;
}

}  // namespace

const char* ppLanguageCode(TppLanguageType language) {
  return language <= lgCustom ? languageCodes[language] : languageCodes[0];
}

std::string ppLoadMessage(int n) {
  std::string text = TppResourceManager::Instance().FindString(n + ppMessageIdBase);
  if (text.empty()) text = ppBuiltInMessage(n);
  return text;
}

std::string ppReplacePlaceholders(const std::string& text, const std::vector<std::string>& arguments) {
  std::string out;
  size_t next = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char* found = nullptr;
    if (text[i] == '<' && next < arguments.size()) {
      for (const char* placeholder : placeholders)
        if (text.compare(i, std::char_traits<char>::length(placeholder), placeholder) == 0) {
          found = placeholder;
          break;
        }
    }
    if (!found) {
      out += text[i++];
      continue;
    }
    out += arguments[next++];
    i += std::char_traits<char>::length(found);
  }
  return out;
}

std::string ppFormatMessage(int n, const std::vector<std::string>& arguments) {
  return ppReplacePlaceholders(ppLoadMessage(n), arguments);
}

TppResourceManager::TppResourceManager() : moduleFolder(ProgramFolder()) {}

TppResourceManager& TppResourceManager::Instance() {
  static TppResourceManager instance;
  return instance;
}

std::shared_ptr<const TppResourceManager::TStringTable> TppResourceManager::LoadModule(
    const std::string& baseName, TppLanguageType forLanguage) const {
  const std::string path = moduleFolder + "/" + baseName + "." + ppLanguageCode(forLanguage);
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0 || size > maxModuleSize) return nullptr;
  in.seekg(0);
  auto table = std::make_shared<TStringTable>();
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    int id = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + eq, id);
    if (error != std::errc() || end != line.data() + eq) continue;
    (*table)[id] = Unescape(line.substr(eq + 1));
  }
  return table;
}

int TppResourceManager::LoadModules(TppLanguageType forLanguage) {
  int found = 0;
  for (TModule& module : modules) {
    module.Table = LoadModule(module.BaseName, forLanguage);
    if (module.Table) ++found;
  }
  loaded = true;
  return found;
}

bool TppResourceManager::SetLanguage(TppLanguageType value) {
  if (value > lgCustom) return false;
  if (value == language && loaded) return true;
  const TppLanguageType previous = language;
  language = value;
  if (LoadModules(value) == 0 && value != lgDefault) {
    language = previous;
    LoadModules(previous);
    return false;
  }
  return true;
}

void TppResourceManager::AddModule(const std::string& baseName) {
  for (const TModule& module : modules)
    if (module.BaseName == baseName) return;
  modules.push_back(TModule{baseName, LoadModule(baseName, language)});
}

void TppResourceManager::RemoveModule(const std::string& baseName) {
  std::erase_if(modules, [&](const TModule& module) { return module.BaseName == baseName; });
}

void TppResourceManager::SetModuleFolder(const std::string& folder) {
  moduleFolder = folder;
  LoadModules(language);
}

std::string TppResourceManager::FindString(int stringId) const {
  for (const TModule& module : modules) {
    if (!module.Table) continue;
    auto it = module.Table->find(stringId);
    if (it != module.Table->end() && !it->second.empty()) return it->second;
  }
  return {};
}
