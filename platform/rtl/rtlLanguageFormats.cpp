#include "rtlFormatSettings.h"

TFormatSettings FormatSettingsForLanguage(uint16_t languageId) { return NeutralFormatSettings(); }
