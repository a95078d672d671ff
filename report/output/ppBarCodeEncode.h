#pragma once
// Bar-code encoding: the data of a symbol into a module row, one character
// per device pixel column along the symbol ("1" dark, "0" light; Postnet:
// "2" a full bar, "1" a half bar). Element widths come from the narrow bar
// width and the device's resolution, so a symbol is encoded again for each
// device it is drawn on.

#include <cstdint>
#include <string>

#include "rtlTypeInfo.h"

enum TppBarCodeType : uint8_t {
  bcUPC_A, bcUPC_E, bcEAN_13, bcEAN_8, bcInt2of5, bcCode128, bcCode39, bcPostnet, bcFIM, bcCodabar, bcMSI
};
RTL_ENUM_TYPE(TppBarCodeType, "bcUPC_A", "bcUPC_E", "bcEAN_13", "bcEAN_8", "bcInt2of5", "bcCode128", "bcCode39",
              "bcPostnet", "bcFIM", "bcCodabar", "bcMSI")

// The longest module rows a symbol may have.
inline constexpr size_t ppMaxModuleRow = 7999;
inline constexpr size_t ppMaxSupplementRow = 999;

// Code 128 special characters as they are written in the data.
inline constexpr unsigned char ppCode128FNC3 = 201;
inline constexpr unsigned char ppCode128FNC2 = 202;
inline constexpr unsigned char ppCode128Shift = 203;
inline constexpr unsigned char ppCode128CodeC = 204;
inline constexpr unsigned char ppCode128CodeB = 205;
inline constexpr unsigned char ppCode128CodeA = 206;
inline constexpr unsigned char ppCode128FNC1 = 207;
inline constexpr unsigned char ppCode128StartA = 208;
inline constexpr unsigned char ppCode128StartB = 209;
inline constexpr unsigned char ppCode128StartC = 210;
// Set A's control characters 0 to 31 are written from here on.
inline constexpr unsigned char ppCode128Control = 211;

// Engine messages of Code 128 data that cannot be encoded.
enum TppCode128Error {
  c128NoStart = 451,
  c128StartInside = 452,
  c128LowerCaseInSetA = 453,
  c128ControlOutsideSetA = 454,
  c128OddDigitInSetC = 455,
  c128NonDigitInSetC = 456,
  c128SpecialInSetC = 457,
  c128DoubleShift = 458
};

struct TppBarCodeSettings {
  TppBarCodeType BarCodeType = bcCode39;
  std::string Data;
  std::string AddOnCode;
  bool AutoEncode = false;
  bool CalcCheckDigit = true;
  // Narrow bar width in thousandths of a millimetre.
  int BarWidth = 254;
  double WideBarRatio = 3.0;
};

struct TppBarCodeEncoding {
  // Empty when the data cannot be encoded.
  std::string Modules;
  // The text the symbol stands for: the data with a check digit appended
  // where one was computed, Code 128 data after automatic encoding.
  std::string Text;
  bool CodeOK = true;
  // The engine message of a Code 128 refusal (0: none) and its argument.
  int ErrorMessage = 0;
  std::string ErrorArgument;
};

// Narrow and wide element widths in pixel columns for a resolution along
// the symbol.
int ppNarrowElement(const TppBarCodeSettings& settings, int pixelsPerInch);
int ppWideElement(const TppBarCodeSettings& settings, int pixelsPerInch);

TppBarCodeEncoding ppEncodeBarCode(const TppBarCodeSettings& settings, int pixelsPerInch);
// The UPC/EAN supplement row of AddOnCode (2 or 5 digits; anything else
// gives none).
std::string ppEncodeSupplement(const TppBarCodeSettings& settings, int pixelsPerInch);

// Check digits as the encoders compute them ('0' to '9').
char ppUPCCheckDigit(const std::string& digits);  // weights 3, 1 from the left
char ppEAN13CheckDigit(const std::string& digits);
char ppLuhnCheckDigit(const std::string& digits);
// A UPC-E body of six digits in the UPC-A form of number system 0.
std::string ppExpandUPCE(const std::string& sixDigits);
// Code 128 data rewritten with start, code switches and shifts chosen.
std::string ppCode128AutoEncode(const std::string& data);
// Data as single bytes: UTF-8 characters up to 255 become that byte.
std::string ppSingleByteData(const std::string& data);
