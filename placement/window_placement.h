// Keeps the screen position of each of the program's three windows from one
// run to the next, as decimal text values in the per-user registry.
#pragma once

#include "platform/forms/forms.h"

namespace WindowPlacement {

void RestoreMainPosition(forms::Form& window);
void RestorePositionH(forms::Form& window);
void RestorePositionV(forms::Form& window);
void SaveMainPosition(forms::Form& window);
void SavePositionH(forms::Form& window);
void SavePositionV(forms::Form& window);

}  // namespace WindowPlacement
