#pragma once
// A set over a small enumeration, as the design's set types are: one bit
// per member, lowest member first.

#include <cstdint>
#include <initializer_list>

template <class E>
class TSet {
public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> members) {
    for (E m : members) bits |= Bit(m);
  }
  static constexpr TSet FromBits(uint64_t value) {
    TSet s;
    s.bits = value;
    return s;
  }

  constexpr bool Contains(E m) const { return (bits & Bit(m)) != 0; }
  constexpr TSet& Include(E m) {
    bits |= Bit(m);
    return *this;
  }
  constexpr TSet& Exclude(E m) {
    bits &= ~Bit(m);
    return *this;
  }
  constexpr TSet& Set(E m, bool on) { return on ? Include(m) : Exclude(m); }
  constexpr bool Empty() const { return bits == 0; }
  constexpr uint64_t Bits() const { return bits; }
  constexpr TSet operator+(TSet o) const { return FromBits(bits | o.bits); }
  constexpr TSet operator-(TSet o) const { return FromBits(bits & ~o.bits); }
  constexpr TSet operator*(TSet o) const { return FromBits(bits & o.bits); }
  constexpr bool operator==(const TSet&) const = default;

private:
  static constexpr uint64_t Bit(E m) { return uint64_t{1} << static_cast<unsigned>(m); }
  uint64_t bits = 0;
};
