#include "engTableCipher.h"

void ApplyTableCipher(uint8_t* buffer, uint32_t length) {
  // A xorshift stream from a fixed seed.
  uint32_t state = 0x6B43A9B5u;
  for (uint32_t i = 0; i < length; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    buffer[i] ^= uint8_t(state >> 24);
  }
}
