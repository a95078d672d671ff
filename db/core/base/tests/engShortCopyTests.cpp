#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engShortCopy.h"

// Every count copies exactly its bytes to an unaligned place, whichever
// words the copy takes them in, and leaves the bytes around them alone.
TEST(ShortCopy, EveryCountCopiesItsBytesAndNoneAround) {
  constexpr size_t Guard = 24;
  for (size_t count = 0; count <= 100; ++count) {
    SCOPED_TRACE(count);
    std::vector<uint8_t> from(count + 3);
    for (size_t i = 0; i < from.size(); ++i) from[i] = uint8_t(i * 37 + 11);
    for (const auto copy : {CopyFew, CopyInWords}) {
      std::vector<uint8_t> to(count + 2 * Guard + 1, 0xEE);
      copy(to.data() + Guard + 1, from.data() + 3, count);
      for (size_t i = 0; i < to.size(); ++i) {
        const bool inside = i >= Guard + 1 && i < Guard + 1 + count;
        ASSERT_EQ(to[i], inside ? from[i - (Guard + 1) + 3] : 0xEE) << i;
      }
    }

    std::vector<uint8_t> zeroed(count + 2 * Guard + 1, 0xEE);
    ZeroFew(zeroed.data() + Guard + 1, count);
    for (size_t i = 0; i < zeroed.size(); ++i) {
      const bool inside = i >= Guard + 1 && i < Guard + 1 + count;
      ASSERT_EQ(zeroed[i], inside ? 0 : 0xEE) << i;
    }
  }
}
