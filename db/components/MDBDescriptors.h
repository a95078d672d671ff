#pragma once
// The field definitions the table component and the restructure hand to
// the engine: names and texts cut to the engine's limits without cutting a
// character in two; the engine's definition check completes the rest
// (stored sizes, offsets).

#include <vector>

#include "engFieldDefinition.h"

// Appends field with its name and texts cut.
void AppendFieldDefinition(TFieldDefinition field, std::vector<TFieldDefinition>& fields);
