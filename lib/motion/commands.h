// Internal: the segment command as the interpolation engine uses it.
#pragma once

#include <cstdint>

namespace slotio::motion {

enum class Sent { ok, refused, abandoned };

// One interpolation segment (code 16): refused when an axis step is above
// 2047; abandoned when the module never made room for the frame.
Sent send_segment(uint8_t card_no, int dx, int dy);

} // namespace slotio::motion
