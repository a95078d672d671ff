#pragma once
// Texts of string fields where they enter and leave the engine. Outside,
// every text is UTF-8; inside, a table of language 0 keeps UTF-8 and a
// table with a language keeps its language's code page. Conversion never
// shortens a text: cutting it to a field's length is the field's business.

#include <cstdint>
#include <string>
#include <string_view>

// A character the code page cannot hold becomes '?'. A language this
// system does not know raises engine error 15878 for tableName.
std::string FieldTextFromUtf8(uint16_t languageId, std::string_view text, const std::string& tableName = {});
std::string FieldTextToUtf8(uint16_t languageId, std::string_view stored, const std::string& tableName = {});
