#pragma once
// Result codes of the cursor's record reads (returned, not raised) and
// the error of a record read for editing that has changed since.

#include <cstdint>

