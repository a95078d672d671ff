#include <string>
#include <vector>

#include "ppDisplayFormat.h"

namespace {

enum TCaseRule { crNone, crUpper, crLower };

struct TMaskPlace {
  bool Literal = false;
  char Ch = 0;  // the literal, or the mask character
  TCaseRule Case = crNone;
};

struct TParsedMask {
  std::vector<TMaskPlace> Places;
  bool BlanksLead = false;  // "!": missing optional characters show in front
  bool SaveLiterals = true;
  char Blank = '_';
};

bool IsMaskChar(char c) {
  switch (c) {
    case 'L': case 'l': case 'A': case 'a': case 'C': case 'c':
    case '0': case '9': case '#': return true;
    default: return false;
  }
}

TParsedMask ParseMask(const std::string& editMask) {
  TParsedMask parsed;
  std::string mask = editMask;
  // The two trailing fields (save literals, blank) follow unescaped ";".
  std::vector<size_t> semicolons;
  for (size_t i = 0; i < mask.size(); ++i) {
    if (mask[i] == '\\') ++i;
    else if (mask[i] == ';') semicolons.push_back(i);
  }
  if (semicolons.size() >= 2) {
    const size_t first = semicolons[semicolons.size() - 2];
    const size_t second = semicolons.back();
    parsed.SaveLiterals = mask.substr(first + 1, second - first - 1) != "0";
    if (second + 1 < mask.size()) parsed.Blank = mask[second + 1];
    mask.resize(first);
  } else if (semicolons.size() == 1) {
    parsed.SaveLiterals = mask.substr(semicolons[0] + 1) != "0";
    mask.resize(semicolons[0]);
  }
  TCaseRule rule = crNone;
  for (size_t i = 0; i < mask.size(); ++i) {
    const char c = mask[i];
    if (c == '!') parsed.BlanksLead = true;
    else if (c == '<' && i + 1 < mask.size() && mask[i + 1] == '>') rule = crNone, ++i;
    else if (c == '>') rule = crUpper;
    else if (c == '<') rule = crLower;
    else if (c == '\\' && i + 1 < mask.size()) parsed.Places.push_back({true, mask[++i], crNone});
    else parsed.Places.push_back({!IsMaskChar(c), c, rule});
  }
  return parsed;
}

char Cased(char c, TCaseRule rule) {
  if (rule == crUpper) return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (rule == crLower) return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return c;
}

}  // namespace

std::string FormatMaskText(const std::string& editMask, const std::string& value) {
  const TParsedMask mask = ParseMask(editMask);
  std::string out;
  if (mask.SaveLiterals) {
    // The value holds the literals at their places.
    size_t v = 0;
    for (const TMaskPlace& place : mask.Places) {
      if (place.Literal) {
        out += place.Ch;
        if (v < value.size()) ++v;
      } else {
        out += v < value.size() ? Cased(value[v++], place.Case) : mask.Blank;
      }
    }
    return out;
  }
  size_t slots = 0;
  for (const TMaskPlace& place : mask.Places)
    if (!place.Literal) ++slots;
  const size_t used = std::min(slots, value.size());
  const size_t skip = mask.BlanksLead ? slots - used : 0;  // blank slots in front
  size_t slot = 0;
  size_t v = 0;
  for (const TMaskPlace& place : mask.Places) {
    if (place.Literal) {
      out += place.Ch;
      continue;
    }
    const bool filled = slot >= skip && v < used;
    out += filled ? Cased(value[v++], place.Case) : mask.Blank;
    ++slot;
  }
  return out;
}
