#pragma once
// The SQL layer's own failures: one engine error code whose text is
// "SQL error - %s", the message filling the %s.

#include <cstdint>
#include <string>

[[noreturn]] void RaiseSqlError(const std::string& message);

// "Invalid column name 'name' or table correlation name 'qualifier'
// specified in <where>".
[[noreturn]] void RaiseInvalidColumn(const std::string& name, const std::string& qualifier, const std::string& where);
