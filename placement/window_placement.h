// Keeps the screen position of each of the program's three windows from one
// run to the next, as decimal text values in the per-user registry.
#pragma once

#include <cstdint>

#include "platform/forms/forms.h"

namespace WindowPlacement {

// The number the last successful read gave, shared by every restore of the
// run: a coordinate whose read fails takes it (0 until something was read).
extern std::int32_t LastPosition;

void RestoreMainPosition(forms::Form& window);
void RestorePositionH(forms::Form& window);
void RestorePositionV(forms::Form& window);
void SaveMainPosition(forms::Form& window);
void SavePositionH(forms::Form& window);
void SavePositionV(forms::Form& window);

}  // namespace WindowPlacement
