#include "uiFontMetrics.h"

#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>

#include "rtlAssert.h"
#include "rtlStrUtils.h"

namespace {

constexpr const char* fontDirectories[] = {
    "/usr/share/fonts/truetype/liberation2",
    "/usr/share/fonts/truetype/liberation",
};
constexpr size_t maxFontFileSize = 64u << 20;
constexpr char32_t glyphMapLimit = 0x10FFFF;

struct TFamilyAlias {
  const char* Alias;
  const char* Family;
};

constexpr TFamilyAlias familyAliases[] = {
    {"liberation sans", "LiberationSans"}, {"arial", "LiberationSans"},
    {"helvetica", "LiberationSans"},       {"ms sans serif", "LiberationSans"},
    {"microsoft sans serif", "LiberationSans"}, {"tahoma", "LiberationSans"},
    {"verdana", "LiberationSans"},         {"segoe ui", "LiberationSans"},
    {"liberation serif", "LiberationSerif"}, {"times new roman", "LiberationSerif"},
    {"times", "LiberationSerif"},          {"georgia", "LiberationSerif"},
    {"liberation mono", "LiberationMono"}, {"courier new", "LiberationMono"},
    {"courier", "LiberationMono"},         {"lucida console", "LiberationMono"},
    {"consolas", "LiberationMono"},
};

std::string FileFamily(const std::string& name) {
  const std::string lower = LowerCase(Trim(name));
  for (const TFamilyAlias& alias : familyAliases)
    if (lower == alias.Alias) return alias.Family;
  return "LiberationSans";
}

// Bounds-checked big-endian reads over the file's bytes.
class TFontReader {
public:
  explicit TFontReader(const std::vector<uint8_t>& bytes) : bytes(bytes) {}

  uint16_t U16(size_t offset) const {
    Need(offset, 2);
    return static_cast<uint16_t>(bytes[offset] << 8 | bytes[offset + 1]);
  }
  int16_t S16(size_t offset) const { return static_cast<int16_t>(U16(offset)); }
  uint32_t U32(size_t offset) const {
    Need(offset, 4);
    return static_cast<uint32_t>(bytes[offset]) << 24 | bytes[offset + 1] << 16 |
           bytes[offset + 2] << 8 | bytes[offset + 3];
  }
  void Need(size_t offset, size_t count) const {
    if (offset > bytes.size() || count > bytes.size() - offset)
      throw EFontFileError("Font file is damaged: a table lies outside the file");
  }

private:
  const std::vector<uint8_t>& bytes;
};

struct TTableDirectory {
  std::map<std::string, size_t> Offsets;

  size_t Find(const char* tag) const {
    auto it = Offsets.find(tag);
    if (it == Offsets.end()) throw EFontFileError(std::string("Font file lacks the table ") + tag);
    return it->second;
  }
  bool Has(const char* tag) const { return Offsets.count(tag) != 0; }
};

TTableDirectory ReadDirectory(const TFontReader& r) {
  TTableDirectory dir;
  const uint16_t count = r.U16(4);
  for (uint16_t i = 0; i < count; ++i) {
    const size_t entry = 12 + 16u * i;
    r.Need(entry, 16);
    const uint32_t word = r.U32(entry);
    const std::string tag{static_cast<char>(word >> 24), static_cast<char>(word >> 16 & 0xFF),
                          static_cast<char>(word >> 8 & 0xFF), static_cast<char>(word & 0xFF)};
    const size_t offset = r.U32(entry + 8);
    r.Need(offset, r.U32(entry + 12));
    dir.Offsets[tag] = offset;
  }
  return dir;
}

void ReadCmapFormat4(const TFontReader& r, size_t sub, std::unordered_map<char32_t, uint16_t>& glyphs) {
  const uint16_t segCount = r.U16(sub + 6) / 2;
  const size_t endCodes = sub + 14;
  const size_t startCodes = endCodes + 2u * segCount + 2;
  const size_t deltas = startCodes + 2u * segCount;
  const size_t rangeOffsets = deltas + 2u * segCount;
  for (uint16_t s = 0; s < segCount; ++s) {
    const uint32_t end = r.U16(endCodes + 2u * s);
    const uint32_t start = r.U16(startCodes + 2u * s);
    const uint16_t delta = r.U16(deltas + 2u * s);
    const uint16_t rangeOffset = r.U16(rangeOffsets + 2u * s);
    for (uint32_t c = start; c <= end && c != 0xFFFF; ++c) {
      uint16_t glyph;
      if (rangeOffset == 0) {
        glyph = static_cast<uint16_t>(c + delta);
      } else {
        const size_t at = rangeOffsets + 2u * s + rangeOffset + 2u * (c - start);
        glyph = r.U16(at);
        if (glyph != 0) glyph = static_cast<uint16_t>(glyph + delta);
      }
      if (glyph != 0) glyphs.emplace(c, glyph);
    }
  }
}

void ReadCmapFormat12(const TFontReader& r, size_t sub, std::unordered_map<char32_t, uint16_t>& glyphs) {
  const uint32_t groups = r.U32(sub + 12);
  r.Need(sub + 16, static_cast<size_t>(groups) * 12);
  for (uint32_t g = 0; g < groups; ++g) {
    const size_t at = sub + 16 + 12u * g;
    const uint32_t start = r.U32(at);
    const uint32_t end = std::min<uint32_t>(r.U32(at + 4), glyphMapLimit);
    const uint32_t firstGlyph = r.U32(at + 8);
    for (uint32_t c = start; c <= end; ++c) {
      const uint32_t glyph = firstGlyph + (c - start);
      if (glyph > 0xFFFF) break;
      glyphs.emplace(c, static_cast<uint16_t>(glyph));
    }
  }
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size <= 0 || static_cast<size_t>(size) > maxFontFileSize) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), size);
  if (!in) return {};
  return bytes;
}

}  // namespace

TFontFace::TFontFace(const std::vector<uint8_t>& bytes) {
  const TFontReader r(bytes);
  const TTableDirectory dir = ReadDirectory(r);

  const size_t head = dir.Find("head");
  unitsPerEm = r.U16(head + 18);
  if (unitsPerEm < 16 || unitsPerEm > 16384) throw EFontFileError("Font file is damaged: units per em");

  const size_t hhea = dir.Find("hhea");
  lineAscent = r.S16(hhea + 4);
  lineDescent = -r.S16(hhea + 6);
  lineGap = r.S16(hhea + 8);
  const uint16_t metricCount = r.U16(hhea + 34);

  const uint16_t glyphCount = r.U16(dir.Find("maxp") + 4);
  if (metricCount == 0 || metricCount > glyphCount) throw EFontFileError("Font file is damaged: metric count");

  const size_t hmtx = dir.Find("hmtx");
  advances.resize(glyphCount);
  for (uint16_t g = 0; g < glyphCount; ++g)
    advances[g] = g < metricCount ? r.U16(hmtx + 4u * g) : advances[metricCount - 1];

  if (dir.Has("OS/2")) {
    const size_t os2 = dir.Find("OS/2");
    averageWidth = r.S16(os2 + 2);
    winAscent = r.U16(os2 + 74);
    winDescent = r.U16(os2 + 76);
  } else {
    winAscent = lineAscent;
    winDescent = lineDescent;
  }

  const size_t cmap = dir.Find("cmap");
  const uint16_t subtables = r.U16(cmap + 2);
  size_t best = 0;
  int bestRank = 0;
  for (uint16_t i = 0; i < subtables; ++i) {
    const size_t rec = cmap + 4 + 8u * i;
    const uint16_t platform = r.U16(rec);
    const uint16_t encoding = r.U16(rec + 2);
    const size_t sub = cmap + r.U32(rec + 4);
    const uint16_t format = r.U16(sub);
    int rank = 0;
    if (format == 12 && (platform == 0 || (platform == 3 && encoding == 10))) rank = 2;
    else if (format == 4 && (platform == 0 || (platform == 3 && encoding == 1))) rank = 1;
    if (rank > bestRank) {
      bestRank = rank;
      best = sub;
    }
  }
  if (bestRank == 2) ReadCmapFormat12(r, best, glyphs);
  else if (bestRank == 1) ReadCmapFormat4(r, best, glyphs);
  else throw EFontFileError("Font file has no Unicode character map");
  for (auto it = glyphs.begin(); it != glyphs.end();) {
    if (it->second >= glyphCount) it = glyphs.erase(it);
    else ++it;
  }
  for (char32_t ch = 0; ch < asciiAdvances.size(); ++ch) {
    auto it = glyphs.find(ch);
    asciiAdvances[ch] = advances[it == glyphs.end() ? 0 : it->second];
  }
}

const TFontFace& TFontFace::ForFont(const TFont& font) {
  static std::mutex mutex;
  static std::map<std::string, std::unique_ptr<TFontFace>> faces;

  std::string file = FileFamily(font.Name());
  const bool bold = font.HasStyle(fsBold);
  const bool italic = font.HasStyle(fsItalic);
  file += bold && italic ? "-BoldItalic" : bold ? "-Bold" : italic ? "-Italic" : "-Regular";

  std::lock_guard<std::mutex> lock(mutex);
  auto it = faces.find(file);
  if (it != faces.end()) return *it->second;
  for (const char* dir : fontDirectories) {
    std::vector<uint8_t> bytes = ReadFile(std::string(dir) + "/" + file + ".ttf");
    if (bytes.empty()) continue;
    auto face = std::make_unique<TFontFace>(bytes);
    return *faces.emplace(file, std::move(face)).first->second;
  }
  throw EFontFileError("Font file " + file + ".ttf is not installed");
}

int TFontFace::Advance(char32_t ch) const {
  if (ch < asciiAdvances.size()) return asciiAdvances[ch];
  auto it = glyphs.find(ch);
  return advances[it == glyphs.end() ? 0 : it->second];
}

int TFontFace::AdvancePixels(char32_t ch, double pixelsPerEm) const {
  return static_cast<int>(std::lround(Advance(ch) * pixelsPerEm / unitsPerEm));
}

TTextMetric TFontFace::Metrics(double pixelsPerEm) const {
  const double scale = pixelsPerEm / unitsPerEm;
  TTextMetric m;
  m.Ascent = static_cast<int>(std::lround(winAscent * scale));
  m.Descent = static_cast<int>(std::lround(winDescent * scale));
  m.Height = m.Ascent + m.Descent;
  m.InternalLeading = std::max(0, m.Height - static_cast<int>(std::lround(pixelsPerEm)));
  const int lineSpacing = lineAscent + lineDescent + lineGap;
  m.ExternalLeading = std::max(0, static_cast<int>(std::lround((lineSpacing - winAscent - winDescent) * scale)));
  m.AveCharWidth = static_cast<int>(std::lround(averageWidth * scale));
  return m;
}

std::string ResolveFontFamily(const std::string& name) {
  const std::string file = FileFamily(name);
  if (file == "LiberationSerif") return "Liberation Serif";
  if (file == "LiberationMono") return "Liberation Mono";
  return "Liberation Sans";
}

double PixelsPerEm(const TFont& font, int pixelsPerInch) {
  ORV_ASSERT(pixelsPerInch > 0);
  return -font.Height(pixelsPerInch);
}

char32_t NextUtf8Char(const std::string& text, size_t& i) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  int extra = lead >= 0xF0 && lead < 0xF8 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  if (lead >= 0xF8 || (lead >= 0x80 && lead < 0xC0)) extra = 0;
  char32_t ch = extra == 0 ? lead : lead & (0x3F >> extra);
  size_t j = i + 1;
  for (int k = 0; k < extra; ++k, ++j) {
    if (j >= text.size() || (static_cast<unsigned char>(text[j]) & 0xC0) != 0x80) {
      ++i;
      return lead;
    }
    ch = ch << 6 | (static_cast<unsigned char>(text[j]) & 0x3F);
  }
  i = j;
  return ch;
}
