#pragma once

#include <cstdint>

