#pragma once
// The cipher of encrypted tables. It keeps the contents of their files from
// being read as plain text; access itself is guarded by the session's list
// of table passwords. It needs no key, because the stored password is
// itself enciphered and must be read back before any password is known.

#include <cstdint>

// Scrambles length bytes in place, each by its position from the start of
// the buffer; applying it a second time gives the bytes back.
void ApplyTableCipher(uint8_t* buffer, uint32_t length);
