// Bar codes beside libzint: each symbology encoded and drawn 10,000 times at
// 600 dpi with its human-readable text. Ours paints through the draw
// command on a Qt image; zint encodes and renders its raster bitmap. The
// best of three rounds of the thread's processor time is kept for each side.

#include <zint.h>

#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <functional>
#include <memory>

#include "benchCpuTime.h"
#include "ppDrawBarCode.h"
#include "uiCanvasQt.h"

namespace {

constexpr int Pixels = 600;
// Symbols of each kind (the first argument, when given).
int Count = 10000;
constexpr int Rounds = 3;

struct TKind {
  const char* Name;
  TppBarCodeType Ours;
  int Zint;
  const char* Data;
  bool AutoEncode;
};

const TKind kinds[] = {
    {"UPC-A", bcUPC_A, BARCODE_UPCA, "01234567890", false},
    {"UPC-E", bcUPC_E, BARCODE_UPCE, "012345", false},
    {"EAN-13", bcEAN_13, BARCODE_EANX, "400638133393", false},
    {"EAN-8", bcEAN_8, BARCODE_EANX, "2012345", false},
    {"Interleaved 2 of 5", bcInt2of5, BARCODE_C25INTER, "0123456789", false},
    {"Code 128", bcCode128, BARCODE_CODE128, "Orvelle 2026", true},
    {"Code 39", bcCode39, BARCODE_CODE39, "BARCODE", false},
    {"Postnet", bcPostnet, BARCODE_POSTNET, "012345678", false},
    {"FIM", bcFIM, BARCODE_FIM, "A", false},
    {"Codabar", bcCodabar, BARCODE_CODABAR, "A01234B", false},
    {"MSI", bcMSI, BARCODE_MSI_PLESSEY, "0139725", false},
};

double Ours(const TKind& kind, int& width, int& height) {
  TObjectPtr<TppDrawBarCode> command(new TppDrawBarCode(nullptr));
  command->BarCodeType = kind.Ours;
  command->Data = kind.Data;
  command->AutoEncode = kind.AutoEncode;
  // The narrow bar at 0.01 inch: 6 pixels here, as zint's X-dimension below.
  command->BarWidth = 254;
  command->PrintHumanReadable = kind.Ours != bcPostnet && kind.Ours != bcFIM;
  command->Font()->SetName("Arial");
  command->Font()->SetSize(10);
  QImage image(4000, 2000, QImage::Format_RGB32);
  TQtCanvas canvas(image, Pixels);
  command->PrintAt(canvas, 0, 0);
  width = command->SymbolWidth();
  height = command->SymbolHeight();
  return BestMilliseconds(Rounds, [&] {
    for (int n = 0; n < Count; ++n) command->PrintAt(canvas, 0, 0);
  });
}

double Zint(const TKind& kind, int& width, int& height) {
  std::unique_ptr<zint_symbol, void (*)(zint_symbol*)> symbol(ZBarcode_Create(), ZBarcode_Delete);
  const auto encode = [&] {
    ZBarcode_Clear(symbol.get());
    symbol->symbology = kind.Zint;
    // Raster output draws a module as twice the scale in pixels.
    symbol->scale = 3.0f;
    symbol->show_hrt = 1;
    if (ZBarcode_Encode_and_Buffer(symbol.get(), reinterpret_cast<const unsigned char*>(kind.Data),
                                   static_cast<int>(std::strlen(kind.Data)), 0) >= ZINT_ERROR) {
      std::fprintf(stderr, "zint refused %s: %s\n", kind.Name, symbol->errtxt);
      std::exit(1);
    }
  };
  encode();
  width = symbol->bitmap_width;
  height = symbol->bitmap_height;
  return BestMilliseconds(Rounds, [&] {
    for (int n = 0; n < Count; ++n) encode();
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) Count = std::max(1, std::atoi(argv[1]));
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  std::printf("| symbology | ours ms | zint ms | ours / zint | size px (ours, zint) |\n|---|---|---|---|---|\n");
  double oursTotal = 0, zintTotal = 0;
  for (const TKind& kind : kinds) {
    int oursWidth = 0, zintWidth = 0, oursHeight = 0, zintHeight = 0;
    const double ours = Ours(kind, oursWidth, oursHeight);
    const double zint = Zint(kind, zintWidth, zintHeight);
    oursTotal += ours;
    zintTotal += zint;
    std::printf("| %s | %.0f | %.0f | %.2f | %d x %d, %d x %d |\n", kind.Name, ours, zint, ours / zint, oursWidth,
                oursHeight, zintWidth, zintHeight);
  }
  std::printf("| all eleven | %.0f | %.0f | %.2f | |\n", oursTotal, zintTotal, oursTotal / zintTotal);
  return 0;
}
