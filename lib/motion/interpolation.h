// Internal helpers shared by the line, circle and arc cores.
#pragma once

#include <cstdint>

namespace slotio::motion {

// |v| without overflow, also for the most negative value.
uint64_t magnitude64(int64_t v);

// Whether the speed profile can make progress: a constant segment length
// above 0, or a top speed and an acceleration step above 0. A card number
// outside the table never runs.
bool profile_can_run(uint8_t card_no, uint32_t top_speed, uint32_t speed, uint8_t const_speed);

// The next segment length from the profile the path asked for. Constant
// segments are kept within what one segment frame can carry.
void next_segment_length(uint8_t card_no, uint32_t speed, uint8_t const_speed);

// Common end of a set-up pass and of a run pass.
void start_run();
unsigned char end_pass();

void reset_circle_arc();

// Replaces the pending path with a new one and sets it up. The line keeps
// the arc's radius and direction fields as they were; the circle the radius.
void request_path(uint8_t kind, uint8_t card_no, int64_t x, int64_t y, uint32_t speed,
                  uint8_t const_speed, int64_t r, uint8_t dir);

} // namespace slotio::motion
