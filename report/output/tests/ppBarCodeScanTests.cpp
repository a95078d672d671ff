// What the draw command paints is read back by a real scanner: each
// symbology zbar knows, at printer resolutions, in all four orientations.

#include <gtest/gtest.h>
#include <zbar.h>

#include <QImage>
#include <cstring>
#include <memory>
#include <set>

#include "ppDrawBarCode.h"
#include "uiCanvasQt.h"

namespace {

// The C interface, which the header puts in a namespace for C++.
using namespace zbar;

struct TScanned {
  std::string Type;
  std::string Data;
  auto operator<=>(const TScanned&) const = default;
};

std::set<TScanned> Scan(const QImage& image) {
  const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
  std::vector<unsigned char> pixels(static_cast<size_t>(gray.width() * gray.height()));
  for (int y = 0; y < gray.height(); ++y)
    std::memcpy(pixels.data() + static_cast<size_t>(y * gray.width()), gray.constScanLine(y),
                static_cast<size_t>(gray.width()));
  std::unique_ptr<zbar_image_scanner_t, void (*)(zbar_image_scanner_t*)> scanner(zbar_image_scanner_create(),
                                                                                 zbar_image_scanner_destroy);
  zbar_image_scanner_set_config(scanner.get(), ZBAR_NONE, ZBAR_CFG_ENABLE, 1);
  std::unique_ptr<zbar_image_t, void (*)(zbar_image_t*)> zimage(zbar_image_create(), zbar_image_destroy);
  zbar_image_set_format(zimage.get(), zbar_fourcc('Y', '8', '0', '0'));
  zbar_image_set_size(zimage.get(), static_cast<unsigned>(gray.width()), static_cast<unsigned>(gray.height()));
  zbar_image_set_data(zimage.get(), pixels.data(), pixels.size(), nullptr);
  zbar_scan_image(scanner.get(), zimage.get());
  std::set<TScanned> found;
  // A symbol with its supplement comes as a composite of the two.
  for (const zbar_symbol_t* s = zbar_image_first_symbol(zimage.get()); s; s = zbar_symbol_next(s)) {
    const zbar_symbol_set_t* parts = zbar_symbol_get_components(s);
    if (zbar_symbol_get_type(s) == ZBAR_COMPOSITE && parts) {
      for (const zbar_symbol_t* p = zbar_symbol_set_first_symbol(parts); p; p = zbar_symbol_next(p))
        found.insert({zbar_get_symbol_name(zbar_symbol_get_type(p)), zbar_symbol_get_data(p)});
    } else {
      found.insert({zbar_get_symbol_name(zbar_symbol_get_type(s)), zbar_symbol_get_data(s)});
    }
  }
  return found;
}

// Paints the command as a printer does, with a quiet margin around it.
QImage Render(TppDrawBarCode& command, int ppi) {
  // A first painting on a scratch canvas tells the symbol's size.
  QImage scratch(1, 1, QImage::Format_RGB32);
  {
    TQtCanvas canvas(scratch, ppi);
    command.Measure(canvas);
  }
  const int margin = ppi / 4;
  const int along = command.SymbolWidth() + 2 * margin, across = command.SymbolHeight() + 2 * margin;
  QImage image(command.IsVertical() ? across : along, command.IsVertical() ? along : across, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    TQtCanvas canvas(image, ppi);
    command.PrintAt(canvas, margin, margin);
    canvas.FinishPainting();
  }
  return image;
}

TEST(BarCodeScanning, EverySymbologyAScannerKnowsReadsBackInEveryOrientation) {
  struct TCase {
    TppBarCodeType Type;
    const char* Data;
    const char* AddOn;
    std::set<TScanned> Expected;
  };
  const TCase cases[] = {
      {bcUPC_A, "01234567890", "", {{"UPC-A", "012345678905"}}},
      {bcUPC_A, "01234567890", "12", {{"UPC-A", "012345678905"}, {"EAN-2", "12"}}},
      {bcUPC_E, "012345", "", {{"UPC-E", "00123457"}}},
      // (An EAN-13 of number system 0 is a UPC-A to a scanner.)
      {bcEAN_13, "400638133393", "52495", {{"EAN-13", "4006381333931"}, {"EAN-5", "52495"}}},
      {bcEAN_13, "001234567890", "", {{"UPC-A", "012345678905"}}},
      {bcEAN_8, "2012345", "12", {{"EAN-8", "20123451"}, {"EAN-2", "12"}}},
      {bcEAN_8, "2012345", "52495", {{"EAN-8", "20123451"}, {"EAN-5", "52495"}}},
      {bcInt2of5, "0123456789", "", {{"I2/5", "0123456789"}}},
      {bcCode39, "BarCode", "", {{"CODE-39", "BARCODE"}}},
      {bcCode128, "Orvelle 2026", "", {{"CODE-128", "Orvelle 2026"}}},
      {bcCodabar, "A01234B", "", {{"Codabar", "A01234B"}}},
  };
  for (const int ppi : {300, 600})
    for (const TppBarCodeOrientation orientation : {orLeftToRight, orRightToLeft, orTopToBottom, orBottomToTop})
      for (const TCase& c : cases) {
        TObjectPtr<TppDrawBarCode> command(new TppDrawBarCode(nullptr));
        command->BarCodeType = c.Type;
        command->Data = c.Data;
        command->AddOnCode = c.AddOn;
        command->AutoEncode = c.Type == bcCode128;
        command->Orientation = orientation;
        command->Font()->SetName("Arial");
        command->Font()->SetSize(10);
        const QImage image = Render(*command, ppi);
        ASSERT_TRUE(command->CodeOK) << c.Data;
        const std::set<TScanned> read = Scan(image);
        std::string got;
        for (const TScanned& s : read) got += s.Type + ":" + s.Data + " ";
        EXPECT_EQ(read, c.Expected) << c.Data << " at " << ppi << " ppi, orientation " << int{orientation} << "; read "
                                    << got;
      }
}

}  // namespace
