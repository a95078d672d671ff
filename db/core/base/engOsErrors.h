#pragma once
// Operating-system failures as engine error codes.

#include <cstdint>

#include "osErrors.h"

uint16_t EngineErrorFromOsError(OsError error);
