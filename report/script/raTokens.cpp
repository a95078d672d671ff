#include "raTokens.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "ppMessages.h"
#include "rtlConvert.h"
#include "rtlStrUtils.h"
#include "rtlTypeInfo.h"

namespace {

constexpr std::array<TraCharClass, 256> MakeCharClasses() {
  std::array<TraCharClass, 256> classes{};
  for (int c = 0; c < 256; ++c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 128)
      classes[c] = ccWord;
    else if (c >= '0' && c <= '9')
      classes[c] = ccDigit;
    else if (std::string_view("()*+,-./:;<=>[]").find(static_cast<char>(c)) != std::string_view::npos)
      classes[c] = ccSpecial;
    else if (c == '\'')
      classes[c] = ccQuote;
    else if (c == 9 || c == 10 || c == 13 || c == 32)
      classes[c] = ccWhiteSpace;
    else if (c == '{')
      classes[c] = ccComment;
    else
      classes[c] = ccError;
  }
  return classes;
}
constexpr std::array<TraCharClass, 256> charClasses = MakeCharClasses();

// Puts the arguments in place of the successive "%s" of a message. Texts
// from language modules are never used as a format: a stray "%" stays.
std::string Substitute(std::string text, std::initializer_list<std::string> arguments) {
  size_t from = 0;
  for (const std::string& argument : arguments) {
    const size_t at = text.find("%s", from);
    if (at == std::string::npos) break;
    text.replace(at, 2, argument);
    from = at + argument.size();
  }
  return text;
}

struct TReservedEntry {
  const char* Text;
  TraTokenType Kind;
};
// Symbols first, then the words, as the list was first filled.
constexpr TReservedEntry reservedEntries[] = {
    {"^", ttUpArrow}, {"*", ttStar}, {"(", ttLParen}, {")", ttRParen}, {"-", ttMinus},
    {"+", ttPlus}, {"=", ttEqual}, {"[", ttLBracket}, {"]", ttRBracket}, {":", ttColon},
    {";", ttSemiColon}, {"<", ttLt}, {">", ttGt}, {",", ttComma}, {".", ttPeriod},
    {"/", ttSlash}, {":=", ttColonEqual}, {"<=", ttLe}, {">=", ttGe}, {"<>", ttNe},
    {"..", ttDotDot}, {"and", ttAnd}, {"as", ttAs}, {"begin", ttBegin}, {"case", ttCase},
    {"const", ttConst}, {"div", ttDiv}, {"do", ttDo}, {"downto", ttDownTo}, {"else", ttElse},
    {"end", ttEnd}, {"for", ttFor}, {"function", ttFunction}, {"if", ttIf}, {"in", ttIn},
    {"is", ttIs}, {"mod", ttMod}, {"not", ttNot}, {"of", ttOf}, {"or", ttOr},
    {"procedure", ttProcedure}, {"repeat", ttRepeat}, {"then", ttThen}, {"to", ttTo},
    {"until", ttUntil}, {"var", ttVar}, {"while", ttWhile}};
static_assert(std::size(reservedEntries) == 47);

struct TTypeEntry {
  const char* Text;
  TraDataType Type;
};
constexpr TTypeEntry typeEntries[] = {
    {"integer", daInteger}, {"string", daString}, {"char", daChar}, {"color", daInteger},
    {"single", daSingle}, {"double", daDouble}, {"extended", daExtended},
    {"currency", daCurrency}, {"datetime", daDateTime}, {"date", daDate}, {"time", daTime},
    {"variant", daVariant}, {"tcolor", daInteger}, {"tdatetime", daDateTime}, {"tdate", daDate}};
static_assert(std::size(typeEntries) == 15);

// Words are looked up lower-cased in a buffer on the stack: no entry is
// longer than this, so a longer word is none of them.
constexpr size_t maxEntryLength = 12;

bool LowerKey(std::string_view word, char (&buffer)[maxEntryLength], std::string_view& key) {
  if (word.size() > maxEntryLength) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    const char c = word[i];
    buffer[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  key = std::string_view(buffer, word.size());
  return true;
}

// The reserved words and the built-in type words in one small open-address
// table, so that a word is lower-cased and looked up once, without a
// string hash.
struct TWordEntry {
  std::string_view Word;
  TraTokenType Kind;  // ttType for a type word
  TraDataType Type;
};

class TWordTable {
public:
  TWordTable() {
    for (const TReservedEntry& entry : reservedEntries)
      if (charClasses[static_cast<unsigned char>(entry.Text[0])] == ccWord) Add({entry.Text, entry.Kind, daUnknown});
    for (const TTypeEntry& entry : typeEntries) Add({entry.Text, ttType, entry.Type});
  }
  const TWordEntry* Find(std::string_view key) const {
    for (size_t slot = Hash(key);; slot = (slot + 1) % size) {
      const TWordEntry& entry = slots[slot];
      if (entry.Word.empty()) return nullptr;
      if (entry.Word == key) return &entry;
    }
  }

private:
  static constexpr size_t size = 256;
  std::array<TWordEntry, size> slots{};
  static size_t Hash(std::string_view key) {
    return (key.size() * 131 + static_cast<unsigned char>(key[0]) * 17 + static_cast<unsigned char>(key.back()) * 7 +
            static_cast<unsigned char>(key[key.size() / 2])) % size;
  }
  void Add(const TWordEntry& entry) {
    size_t slot = Hash(entry.Word);
    while (!slots[slot].Word.empty()) slot = (slot + 1) % size;
    slots[slot] = entry;
  }
};

const TWordTable& WordList() {
  static const TWordTable table;
  return table;
}


std::vector<const TEnumTypeInfo*>& EnumTypes() {
  static std::vector<const TEnumTypeInfo*> types{&BooleanTypeInfo()};
  return types;
}

// The source as the tokens read it: a position, the current line and column.
class TSourceReader {
public:
  explicit TSourceReader(std::string_view text) : text(text) {}
  bool AtEnd() const { return position >= text.size(); }
  unsigned char Peek(size_t ahead = 0) const {
    return position + ahead < text.size() ? static_cast<unsigned char>(text[position + ahead]) : 0;
  }
  size_t Position() const { return position; }
  void Advance(size_t count = 1) { position += count; }
  std::string_view Slice(size_t from) const { return text.substr(from, position - from); }

private:
  std::string_view text;
  size_t position = 0;
};

// A line break is a CR, an LF, or CR LF together: sources written on this
// system break lines with LF alone, and they must count lines too.
bool IsLineBreak(unsigned char c) { return c == '\r' || c == '\n'; }
void SkipLineBreak(TSourceReader& reader) {
  const unsigned char c = reader.Peek();
  reader.Advance();
  if (c == '\r' && reader.Peek() == '\n') reader.Advance();
}

void ReadWord(TSourceReader& reader, TraToken& token) {
  const size_t start = reader.Position();
  while (!reader.AtEnd() && (charClasses[reader.Peek()] == ccWord || charClasses[reader.Peek()] == ccDigit))
    reader.Advance();
  const std::string_view word = reader.Slice(start);
  token.Text = std::string(word);
  char buffer[maxEntryLength];
  std::string_view key;
  if (LowerKey(word, buffer, key)) {
    if (const TWordEntry* found = WordList().Find(key)) {
      token.Kind = found->Kind;
      token.DataType = found->Type;
      return;
    }
  }
  if (const TEnumTypeInfo* info = raFindEnumType(word)) {
    token.Kind = ttType;
    token.DataType = SameText(info->Name(), "Boolean") ? daBoolean : daEnum;
    token.TypeName = info->Name();
    return;
  }
  token.Kind = ttIdentifier;
}

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

void ReadNumber(TSourceReader& reader, TraToken& token) {
  const size_t start = reader.Position();
  std::string fraction, exponent;
  bool hasDot = false, hasExponent = false;
  while (IsDigit(reader.Peek())) reader.Advance();
  const std::string_view integerPart = reader.Slice(start);
  // "1..5": the dots belong to the range, not to the number.
  if (reader.Peek() == '.' && reader.Peek(1) != '.') {
    hasDot = true;
    reader.Advance();
    while (IsDigit(reader.Peek())) {
      fraction += static_cast<char>(reader.Peek());
      reader.Advance();
    }
  }
  if (reader.Peek() == 'E' || reader.Peek() == 'e') {
    hasExponent = true;
    reader.Advance();
    if (reader.Peek() == '+' || reader.Peek() == '-') {
      exponent += static_cast<char>(reader.Peek());
      reader.Advance();
    }
    while (IsDigit(reader.Peek())) {
      exponent += static_cast<char>(reader.Peek());
      reader.Advance();
    }
  }
  token.Text = std::string(reader.Slice(start));
  token.Kind = ttError;
  if (!hasDot) {
    token.DataType = daInteger;
    // An exponent without a point leaves text the integer conversion refuses.
    if (hasExponent) return;
    int64_t value = 0;
    for (char digit : integerPart) {
      value = value * 10 + (digit - '0');
      if (value > INT32_MAX) return;
    }
    token.IntegerValue = static_cast<int32_t>(value);
    token.Kind = ttNumber;
    return;
  }
  token.DataType = daExtended;
  std::string joined = std::string(integerPart) + "." + (fraction.empty() ? "0" : fraction);
  if (hasExponent) joined += "E" + exponent;
  // Read by the fixed rules, never through the process's locale.
  long double value = 0;
  const auto [end, error] = std::from_chars(joined.data(), joined.data() + joined.size(), value);
  if (error != std::errc() || end != joined.data() + joined.size()) return;
  token.FloatValue = value;
  token.Kind = ttNumber;
}

constexpr std::array<TraTokenType, 256> MakeSpecialKinds() {
  std::array<TraTokenType, 256> kinds{};
  for (const TReservedEntry& entry : reservedEntries)
    if (entry.Text[1] == '\0') kinds[static_cast<unsigned char>(entry.Text[0])] = entry.Kind;
  return kinds;
}
constexpr std::array<TraTokenType, 256> specialKinds = MakeSpecialKinds();

void ReadSpecial(TSourceReader& reader, TraToken& token) {
  const size_t start = reader.Position();
  token.Kind = specialKinds[reader.Peek()];
  reader.Advance();
  if (token.Kind == ttColon || token.Kind == ttLt || token.Kind == ttGt || token.Kind == ttPeriod) {
    const unsigned char next = reader.Peek();
    TraTokenType pair = ttUnknown;
    if (next == '=') pair = token.Kind == ttColon ? ttColonEqual : token.Kind == ttLt ? ttLe : token.Kind == ttGt ? ttGe : ttUnknown;
    else if (next == '>' && token.Kind == ttLt) pair = ttNe;
    else if (next == '.' && token.Kind == ttPeriod) pair = ttDotDot;
    if (pair != ttUnknown) {
      token.Kind = pair;
      reader.Advance();
    }
  }
  token.Text = std::string(reader.Slice(start));
}

void ReadString(TSourceReader& reader, TraToken& token, bool stripQuotes) {
  const size_t start = reader.Position();
  reader.Advance();  // the opening apostrophe
  std::string content;
  token.Kind = ttError;
  while (!reader.AtEnd() && !IsLineBreak(reader.Peek())) {
    const unsigned char c = reader.Peek();
    reader.Advance();
    if (c == '\'') {
      if (reader.Peek() == '\'') {
        content += '\'';
        reader.Advance();
        continue;
      }
      token.Kind = ttString;
      break;
    }
    content += static_cast<char>(c);
  }
  token.DataType = daString;
  token.Text = stripQuotes ? content : std::string(reader.Slice(start));
}

void ReadComment(TSourceReader& reader, TraToken& token, int& column) {
  const size_t start = reader.Position();
  int lineBreaks = 0;
  size_t lineStart = start;
  while (!reader.AtEnd() && reader.Peek() != '}') {
    if (IsLineBreak(reader.Peek())) {
      SkipLineBreak(reader);
      ++lineBreaks;
      lineStart = reader.Position();
    } else {
      reader.Advance();
    }
  }
  if (!reader.AtEnd()) reader.Advance();
  token.Kind = ttComment;
  token.Text = std::string(reader.Slice(start));
  token.EndLine = token.Line + lineBreaks;
  column = lineBreaks > 0 ? static_cast<int>(reader.Position() - lineStart)
                          : column + static_cast<int>(reader.Position() - start);
}

}  // namespace

TraCharClass raCharClass(unsigned char c) { return charClasses[c]; }

std::string TraToken::Description() const {
  switch (Kind) {
    case ttString:
      return "string: " + Text;
    case ttIdentifier:
    case ttType:
      return "identifier: " + Text;
    case ttNumber:
      if (DataType == daInteger) return "integer: " + IntToStr(IntegerValue);
      return "float: " + IntToStr(static_cast<int64_t>(FloatValue));
    case ttError:
      return "error: " + Text;
    case ttComment: {
      // The text between the braces, its first ten characters.
      std::string_view content(Text);
      if (!content.empty() && content.front() == '{') content.remove_prefix(1);
      if (!content.empty() && content.back() == '}') content.remove_suffix(1);
      return "comment: {" + std::string(content.substr(0, 10)) + (content.size() > 10 ? "..." : "") + "}";
    }
    default:
      if (Kind >= ttAnd) return "reserved word: " + Text;
      return "special: " + Text;
  }
}

void TraParser::Tokenize(std::string_view source) {
  tokens.clear();
  errorTokens.clear();
  TSourceReader reader(source);
  // A guess that saves regrowing for programs of usual size, and never asks
  // for much more than the text itself.
  tokens.reserve(std::min<size_t>(source.size() / 4, 4096));
  int line = 1, column = 0;
  for (;;) {
    while (!reader.AtEnd() && charClasses[reader.Peek()] == ccWhiteSpace) {
      if (IsLineBreak(reader.Peek())) {
        SkipLineBreak(reader);
        ++line;
        column = 0;
      } else {
        reader.Advance();
        ++column;
      }
    }
    if (reader.AtEnd()) break;
    const size_t start = reader.Position();
    TraToken& token = tokens.emplace_back();
    token.Line = line;
    token.Column = column;
    switch (charClasses[reader.Peek()]) {
      case ccWord:
        ReadWord(reader, token);
        break;
      case ccDigit:
        ReadNumber(reader, token);
        break;
      case ccSpecial:
        ReadSpecial(reader, token);
        break;
      case ccQuote:
        ReadString(reader, token, Options.StripQuotes);
        break;
      case ccComment: {
        ReadComment(reader, token, column);
        line = token.EndLine;
        if (Options.DiscardComments) tokens.pop_back();
        continue;
      }
      default:
        reader.Advance();
        token.Kind = ttError;
        break;
    }
    if (token.Kind == ttError) {
      // The error token holds exactly what the failed token read.
      token.Text = std::string(reader.Slice(start));
      token.DataType = daUnknown;
      errorTokens.push_back(static_cast<int>(tokens.size()) - 1);
    }
    column += static_cast<int>(reader.Position() - start);
  }
}

bool raReservedWord(std::string_view word, TraTokenType& kind) {
  for (const TReservedEntry& entry : reservedEntries) {
    if (charClasses[static_cast<unsigned char>(entry.Text[0])] == ccWord) break;  // the symbols come first
    if (word == entry.Text) {
      kind = entry.Kind;
      return true;
    }
  }
  char buffer[maxEntryLength];
  std::string_view key;
  if (word.empty() || !LowerKey(word, buffer, key)) return false;
  const TWordEntry* found = WordList().Find(key);
  if (!found || found->Kind == ttType) return false;
  kind = found->Kind;
  return true;
}

void raRegisterEnumType(const TEnumTypeInfo& type) {
  auto& types = EnumTypes();
  if (std::find(types.begin(), types.end(), &type) == types.end()) types.push_back(&type);
}

void raUnregisterEnumType(const TEnumTypeInfo& type) {
  auto& types = EnumTypes();
  if (&type == &BooleanTypeInfo()) return;
  types.erase(std::remove(types.begin(), types.end(), &type), types.end());
}

const TEnumTypeInfo* raFindEnumType(std::string_view name) {
  for (const TEnumTypeInfo* type : EnumTypes())
    if (SameText(type->Name(), name)) return type;
  return nullptr;
}

const TEnumTypeInfo* raFindEnumValue(std::string_view valueName, int& ordinal) {
  for (const TEnumTypeInfo* type : EnumTypes()) {
    ordinal = type->ValueOf(valueName);
    if (ordinal >= 0) return type;
  }
  return nullptr;
}

std::string raTokenKindName(TraTokenType kind) {
  switch (kind) {
    case ttIdentifier:
      return "identifier";
    case ttNumber:
      return "number";
    case ttString:
      return "string";
    case ttType:
      return "type";
    case ttUnary:
      return "unary operator";
    case ttOperator:
      return "operator";
    default:
      for (const TReservedEntry& entry : reservedEntries)
        if (entry.Kind == kind) return std::string("'") + entry.Text + "'";
      return "";
  }
}

std::string raEngineMessage(int n) {
  std::string text = ppLoadMessage(n);
  if (!text.empty()) return text;
  // Our own wording, used when no language module carries the message.
  switch (n) {
    case 908: return ", but %s found";
    case 924: return "Conversion";
    case 925: return "The program <name> does not compile";
    case 928: return "Date and time";
    case 939: return "Format";
    case 950: return "Mathematics";
    case 975: return "String";
    case 937: return "%s or %s expected";
    case 938: return "%s expected";
    case 991: return "<identifier> is the name of a built-in constant";
    case 992: return "<identifier> is already a global variable";
    case 993: return "<identifier> is already a global constant";
    case 994: return "Identifier redeclared: <identifier>";
    case 995: return "Incompatible types at <name>";
    case 996: return "Unknown type <type>";
    case 997: return "A program must start with procedure or function";
    case 998: return "Program name expected";
    case 999: return "Closing parenthesis without opening one at <name>";
    case 1901: return "Type name <type> used where a value is expected";
    case 1902: return "Invalid text in the source: <name>";
    case 1903: return "Undeclared identifier: <identifier>";
    case 1904: return "Unexpected end of program";
    case 1905: return "<name> cannot stand here";
    default: return "";
  }
}

std::string raErrorText(const TraToken* token, TraTokenSet expected, int code) {
  if (code == raExpectedToken) {
    std::vector<std::string> names;
    for (int kind = 0; kind < raTokenTypeCount; ++kind)
      if (expected.Contains(static_cast<TraTokenType>(kind))) {
        std::string name = raTokenKindName(static_cast<TraTokenType>(kind));
        if (!name.empty()) names.push_back(std::move(name));
      }
    std::string text;
    if (names.size() == 1) {
      text = Substitute(raEngineMessage(938), {names[0]});
    } else if (names.size() >= 2) {
      std::string leading;
      for (size_t i = 0; i + 2 < names.size(); ++i) leading += names[i] + ", ";
      text = leading + Substitute(raEngineMessage(937), {names[names.size() - 2], names.back()});
    }
    return text + Substitute(raEngineMessage(908), {token ? token->Text : std::string()});
  }
  static const int messages[] = {994, 995, 996, 991, 992, 993, 997, 998, 999, 1901, 1902, 1903, 1904, 1905};
  if (code < 0 || code >= static_cast<int>(std::size(messages))) return "";
  std::string text = raEngineMessage(messages[code]);
  if (!token) return text;
  for (const char* placeholder : {"<identifier>", "<type>", "<name>"})
    text = StringReplace(text, placeholder, "%s", rfReplaceAll);
  return Substitute(text, {"'" + token->Text + "'"});
}
