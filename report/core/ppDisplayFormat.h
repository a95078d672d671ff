#pragma once
// Display formats: a value of a data type shown through a mask, and the
// built-in masks a designer offers per data type. The class can be
// replaced; the engine reaches it only through the routines below.

#include <memory>
#include <string>

#include "ppTypes.h"
#include "rtlFormatSettings.h"
#include "rtlVariant.h"

class TStrings;

// Separates an entry's sample text from its mask in the built-in lists.
constexpr char ppDisplayFormatSeparator = '\x01';

class TppDisplayFormat {
public:
  virtual ~TppDisplayFormat() = default;

  // Clears the list and adds the built-in entries of the type, "sample",
  // separator, "mask".
  virtual void GetDisplayFormats(TppDataType dataType, TStrings& list);
  // Null and empty values give an empty text for every type.
  virtual std::string Format(const std::string& mask, TppDataType dataType, const Variant& value,
                             const TFormatSettings& settings);
};

// The installed display format (the built-in one unless replaced);
// nullptr restores the built-in one.
void ppSetDisplayFormat(std::unique_ptr<TppDisplayFormat> displayFormat);
void ppGetDisplayFormats(TppDataType dataType, TStrings& list);
std::string ppFormatDisplayValue(const std::string& mask, TppDataType dataType, const Variant& value,
                                 const TFormatSettings& settings);

// The class library's edit-mask formatter: "mask;save literals;blank".
std::string FormatMaskText(const std::string& editMask, const std::string& value);
