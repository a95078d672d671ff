#pragma once
// What tests read back from a printed PDF through poppler's tools: the
// page sizes pdfinfo reports and the ink of a page pdftoppm renders.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "uiGraphics.h"

// The command's standard output; nullopt when it did not exit with 0.
inline std::optional<std::string> RunTool(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string out;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  return pclose(pipe) == 0 ? std::optional<std::string>(out) : std::nullopt;
}

struct TPdfPageSize {
  double Width = 0;  // points
  double Height = 0;
};

// Every page's size, in page order; empty when the file is no PDF.
inline std::vector<TPdfPageSize> PdfPageSizes(const std::string& file) {
  std::vector<TPdfPageSize> sizes;
  const auto info = RunTool("pdfinfo -f 1 -l 100000 '" + file + "' 2>/dev/null");
  if (!info) return sizes;
  std::istringstream lines(*info);
  for (std::string line; std::getline(lines, line);) {
    // "Page    2 size: 612 x 792 pts (letter)"
    if (line.rfind("Page ", 0) != 0 || line.find(" size: ") == std::string::npos) continue;
    std::istringstream fields(line.substr(line.find(" size: ") + 7));
    TPdfPageSize size;
    std::string by;
    fields >> size.Width >> by >> size.Height;
    sizes.push_back(size);
  }
  return sizes;
}

// One page rendered in grey at a resolution.
struct TGreyImage {
  int Width = 0;
  int Height = 0;
  std::vector<unsigned char> Pixels;
  unsigned char At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }

  // The bounding box of the pixels darker than half grey inside area;
  // empty when there are none.
  TRect Ink(const TRect& area) const {
    TRect box{area.Right, area.Bottom, area.Left, area.Top};
    for (int y = std::max(0, area.Top); y < std::min(Height, area.Bottom); ++y)
      for (int x = std::max(0, area.Left); x < std::min(Width, area.Right); ++x)
        if (At(x, y) < 128) {
          box.Left = std::min(box.Left, x);
          box.Top = std::min(box.Top, y);
          box.Right = std::max(box.Right, x + 1);
          box.Bottom = std::max(box.Bottom, y + 1);
        }
    return box.IsEmpty() ? TRect{} : box;
  }
};

// Page n of the PDF at ppi; empty (0 x 0) when it cannot be rendered.
inline TGreyImage RenderPdfPage(const std::string& file, int page, int ppi, const std::string& scratchPrefix) {
  TGreyImage image;
  const std::string n = std::to_string(page);
  if (!RunTool("pdftoppm -gray -r " + std::to_string(ppi) + " -f " + n + " -l " + n + " -singlefile '" + file +
               "' '" + scratchPrefix + "'"))
    return image;
  std::ifstream in(scratchPrefix + ".pgm", std::ios::binary);
  std::string magic;
  int maxValue = 0;
  in >> magic >> image.Width >> image.Height >> maxValue;
  in.get();
  if (magic != "P5" || maxValue != 255) return TGreyImage{};
  image.Pixels.resize(static_cast<size_t>(image.Width) * image.Height);
  in.read(reinterpret_cast<char*>(image.Pixels.data()), static_cast<std::streamsize>(image.Pixels.size()));
  if (!in) return TGreyImage{};
  return image;
}
