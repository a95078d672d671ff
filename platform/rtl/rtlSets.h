#pragma once
// The class library's small sets: a set of an enumeration whose ordinals lie
// in 0..63, held in one word. Set properties stream as these words, so the
// bit of an element is its ordinal.

#include <cstdint>
#include <initializer_list>

#include "rtlAssert.h"


template <typename E>
class TSet {
public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> elements) {
    for (E e : elements) bits |= Bit(e);
  }
  static constexpr TSet FromBits(uint64_t bits) {
    TSet s;
    s.bits = bits;
    return s;
  }

  constexpr uint64_t Bits() const { return bits; }
  constexpr bool Contains(E e) const { return (bits & Bit(e)) != 0; }
  constexpr bool Empty() const { return bits == 0; }
  constexpr TSet& Include(E e) {
    bits |= Bit(e);
    return *this;
  }
  constexpr TSet& Exclude(E e) {
    bits &= ~Bit(e);
    return *this;
  }
  constexpr TSet& Set(E e, bool on) { return on ? Include(e) : Exclude(e); }

  constexpr TSet operator+(TSet o) const { return FromBits(bits | o.bits); }
  constexpr TSet operator-(TSet o) const { return FromBits(bits & ~o.bits); }
  constexpr TSet operator*(TSet o) const { return FromBits(bits & o.bits); }
  constexpr bool operator==(const TSet&) const = default;

private:
  uint64_t bits = 0;

  static constexpr uint64_t Bit(E e) {
    ORV_ASSERT(static_cast<int>(e) >= 0 && static_cast<int>(e) < 64);
    return uint64_t{1} << static_cast<int>(e);
  }
};
