#pragma once
// Copies and zero fills of a few bytes, as most pieces of a packed index
// key and most data areas of a memo table's blocks are: a call of the C
// library's for each took a third of a leaf's decoding.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "rtlAssert.h"

// count lies between one and two words: the first and the last word,
// which overlap where count is below two words.
template <typename Word>
inline void CopyEnds(uint8_t* to, const uint8_t* from, size_t count) {
  Word head;
  Word tail;
  std::memcpy(&head, from, sizeof(Word));
  std::memcpy(&tail, from + count - sizeof(Word), sizeof(Word));
  std::memcpy(to, &head, sizeof(Word));
  std::memcpy(to + count - sizeof(Word), &tail, sizeof(Word));
}

// More bytes than a vector word: whole words, the last one ending where
// count does. Up to four words the words are read and written without a
// loop: the compiler turns a loop of them into a string instruction, whose
// start-up took half of a text's test remembered by value.
constexpr size_t CopyWord = 16;
struct TCopyWord {
  uint8_t Bytes[CopyWord];
};
inline void CopyWords(uint8_t* to, const uint8_t* from, size_t count) {
  ORV_ASSERT(count > CopyWord);
  if (count <= 2 * CopyWord) {
    CopyEnds<TCopyWord>(to, from, count);
    return;
  }
  if (count <= 4 * CopyWord) {
    TCopyWord words[4];
    std::memcpy(&words[0], from, CopyWord);
    std::memcpy(&words[1], from + CopyWord, CopyWord);
    std::memcpy(&words[2], from + count - 2 * CopyWord, CopyWord);
    std::memcpy(&words[3], from + count - CopyWord, CopyWord);
    std::memcpy(to, &words[0], CopyWord);
    std::memcpy(to + CopyWord, &words[1], CopyWord);
    std::memcpy(to + count - 2 * CopyWord, &words[2], CopyWord);
    std::memcpy(to + count - CopyWord, &words[3], CopyWord);
    return;
  }
  for (size_t at = 0; at + CopyWord < count; at += CopyWord) std::memcpy(to + at, from + at, CopyWord);
  std::memcpy(to + count - CopyWord, from + count - CopyWord, CopyWord);
}

inline void CopyFew(uint8_t* to, const uint8_t* from, size_t count) {
  if (count > CopyWord) {
    if (count > 64) std::memcpy(to, from, count);
    else CopyWords(to, from, count);
  } else if (count >= 8) {
    CopyEnds<uint64_t>(to, from, count);
  } else if (count >= 4) {
    CopyEnds<uint32_t>(to, from, count);
  } else {
    for (size_t i = 0; i < count; ++i) to[i] = from[i];
  }
}

// Any count, never through the C library's copy: where the compiler sees
// the count bounded it inlines that copy as a string instruction, whose
// start-up takes longer than the few words of a key or a field.
inline void CopyInWords(uint8_t* to, const uint8_t* from, size_t count) {
  if (count > CopyWord) CopyWords(to, from, count);
  else CopyFew(to, from, count);
}

inline void ZeroFew(uint8_t* to, size_t count) {
  constexpr uint64_t Zero = 0;
  if (count > 16) {
    std::memset(to, 0, count);
  } else if (count >= 8) {
    std::memcpy(to, &Zero, 8);
    std::memcpy(to + count - 8, &Zero, 8);
  } else {
    for (size_t i = 0; i < count; ++i) to[i] = 0;
  }
}
