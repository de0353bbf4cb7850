// The COM port table of the COM port API.
#pragma once

#include <array>

namespace slotio {

// Descriptor per COM port 1 to 50 at index port - 1; 0 while not open.
extern std::array<int, 50> _fd;

} // namespace slotio
