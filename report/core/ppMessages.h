#pragma once
// The engine's messages by number. Message n is string id 43000 + n: asked
// of the loaded language modules in the order their base names were added,
// then of the program's own table; a number neither holds is an empty
// text.
//
// A language module is a data file named by its base name, a point and a
// three-letter language code ("lxPrint.deu") in the module folder. Each
// line is "<string id>=<text>"; in the text "\n", "\t" and "\\" stand for
// a line break, a tab and a backslash. Nothing in a module is executed or
// used as a format: placeholders are the only thing replaced.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ppTypes.h"
#include "rtlExceptions.h"

constexpr int ppMessageIdBase = 43000;
// The module base name the report producer registers.
constexpr const char* ppPrintModuleBaseName = "lxPrint";

// The three-letter code of a language index; "dft" for unknown indexes.
const char* ppLanguageCode(TppLanguageType language);

// The program's own text of message n; empty when the table lacks it.
std::string ppBuiltInMessage(int n);

std::string ppLoadMessage(int n);
// The message with each placeholder ("<page>", "<pagecount>", ...) replaced,
// in the order they stand in the text, by the next argument; placeholders
// beyond the arguments stay as they are.
std::string ppFormatMessage(int n, const std::vector<std::string>& arguments);
// The same rule applied to any text.
std::string ppReplacePlaceholders(const std::string& text, const std::vector<std::string>& arguments);

// The loaded language modules of the process.
class TppResourceManager {
public:
  // The one instance, made on first use.
  static TppResourceManager& Instance();

  TppLanguageType Language() const { return language; }
  // Loads the new language's modules. When the language is not the
  // default and none of its modules exists, the previous language stays
  // and the answer is false.
  bool SetLanguage(TppLanguageType value);
  // Adds a base name once and loads its module for the current language.
  void AddModule(const std::string& baseName);
  void RemoveModule(const std::string& baseName);

  void SetModuleFolder(const std::string& folder);

  // The first non-empty text of the string id among the loaded modules.
  std::string FindString(int stringId) const;

private:
  using TStringTable = std::map<int, std::string>;
  struct TModule {
    std::string BaseName;
    std::shared_ptr<const TStringTable> Table;  // nullptr when not loaded
  };

  TppLanguageType language = lgDefault;
  std::vector<TModule> modules;
  std::string moduleFolder;
  bool loaded = false;

  TppResourceManager();
  // How many modules were found.
  int LoadModules(TppLanguageType forLanguage);
  std::shared_ptr<const TStringTable> LoadModule(const std::string& baseName, TppLanguageType forLanguage) const;
};
