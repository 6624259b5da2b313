// The application icon: a 16-colour picture in six square sizes.
#pragma once

#include <vector>

#include "platform/os.h"

std::vector<os::IconImage> AppIcon();
