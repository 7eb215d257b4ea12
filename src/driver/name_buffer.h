// A name of at most 255 UTF-16 units and its terminating zero, in a fixed array.
#pragma once

#include "platform/system_services.h"

constexpr int kNameBufferUnits = 256;
constexpr int kNameMaxChars = kNameBufferUnits - 1;

struct NameBuffer {
  WCHAR units[kNameBufferUnits];
};
