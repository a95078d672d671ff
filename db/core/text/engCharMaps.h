#pragma once
// Per locale, the 256 byte values in the locale's sort order: the first
// byte sorts lowest, the last highest. Key bounds fill string tails with
// them. Built once per language and sort and kept for the engine's life.

#include <cstdint>
#include <mutex>
#include <vector>

#include "engHeap.h"

using TCharMap = uint8_t[256];

class TLanguageCharMapsList : public TEngineObject {
public:
  TLanguageCharMapsList();
  ~TLanguageCharMapsList() override;

  // Copies the locale's map, building it on first use.
  void GetCharMap(uint16_t languageId, uint16_t sortId, TCharMap& map);

private:
  struct TLanguageCharMap {
    uint16_t LanguageId = 0;
    uint16_t SortId = 0;
    TCharMap Map = {};
  };
  std::mutex lock;
  std::vector<TLanguageCharMap> maps;
};

// The process-wide list; exists between engine library start and stop.
extern TLanguageCharMapsList* LanguageCharMapsList;

// Outside a started engine library the map is built and not kept. Language
// 0, and a locale the system lacks, give the identity.
void GetCharMap(uint16_t languageId, uint16_t sortId, TCharMap& map);
