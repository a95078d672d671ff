#pragma once
// The kinds every part of the scripting language shares: token kinds (also
// operator codes and program types), data types and sets of token kinds.

#include <cstdint>
#include <initializer_list>

#include "rtlTypeInfo.h"

enum TraTokenType : uint8_t {
  ttUnknown, ttIdentifier, ttNumber, ttString, ttComment, ttType, ttError, ttUnary, ttOperator,
  ttUnaryPlus, ttUnaryMinus, ttUpArrow, ttStar, ttLParen, ttRParen, ttMinus, ttPlus, ttEqual,
  ttLBracket, ttRBracket, ttColon, ttSemiColon, ttLt, ttGt, ttComma, ttPeriod, ttSlash,
  ttColonEqual, ttLe, ttGe, ttNe, ttDotDot, ttAnd, ttAs, ttBegin, ttCase, ttConst, ttDiv, ttDo,
  ttDownTo, ttElse, ttEnd, ttFor, ttFunction, ttIf, ttIn, ttIs, ttMod, ttNot, ttOf, ttOr,
  ttProcedure, ttRepeat, ttThen, ttTo, ttUntil, ttVar, ttWhile
};
constexpr int raTokenTypeCount = ttWhile + 1;
// Programs publish their type (ttProcedure, ttFunction) by these names.
RTL_ENUM_TYPE(TraTokenType, "ttUnknown", "ttIdentifier", "ttNumber", "ttString", "ttComment", "ttType", "ttError",
              "ttUnary", "ttOperator", "ttUnaryPlus", "ttUnaryMinus", "ttUpArrow", "ttStar", "ttLParen", "ttRParen",
              "ttMinus", "ttPlus", "ttEqual", "ttLBracket", "ttRBracket", "ttColon", "ttSemiColon", "ttLt", "ttGt",
              "ttComma", "ttPeriod", "ttSlash", "ttColonEqual", "ttLe", "ttGe", "ttNe", "ttDotDot", "ttAnd", "ttAs",
              "ttBegin", "ttCase", "ttConst", "ttDiv", "ttDo", "ttDownTo", "ttElse", "ttEnd", "ttFor", "ttFunction",
              "ttIf", "ttIn", "ttIs", "ttMod", "ttNot", "ttOf", "ttOr", "ttProcedure", "ttRepeat", "ttThen", "ttTo",
              "ttUntil", "ttVar", "ttWhile")

enum TraDataType : uint8_t {
  daUnknown, daInteger, daSingle, daDouble, daExtended, daCurrency, daChar, daString, daDateTime,
  daDate, daTime, daBoolean, daVariant, daObject, daClass, daEnum, daMethod
};

// A set of token kinds: which tokens may come next, where a part ends.
class TraTokenSet {
public:
  constexpr TraTokenSet() = default;
  constexpr TraTokenSet(std::initializer_list<TraTokenType> kinds) {
    for (TraTokenType kind : kinds) bits |= Bit(kind);
  }
  constexpr bool Contains(TraTokenType kind) const { return (bits & Bit(kind)) != 0; }
  constexpr bool Empty() const { return bits == 0; }
  constexpr TraTokenSet operator|(TraTokenSet other) const { return FromBits(bits | other.bits); }
  constexpr TraTokenSet operator-(TraTokenSet other) const { return FromBits(bits & ~other.bits); }

private:
  uint64_t bits = 0;
  static constexpr uint64_t Bit(TraTokenType kind) { return uint64_t{1} << kind; }
  static constexpr TraTokenSet FromBits(uint64_t value) {
    TraTokenSet set;
    set.bits = value;
    return set;
  }
};
