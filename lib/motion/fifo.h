// Internal frame writer of the motion driver.
#pragma once

#include <array>
#include <cstdint>

namespace slotio::motion {

using Params = std::array<uint8_t, 8>;

// Writes one byte into the card's FIFO after the double ready wait; false
// when the wait gave up (the byte is not written).
bool put_byte(int card_no, uint8_t byte);

// Writes one command frame twice. False when the frame was abandoned part
// way because the module never became ready; its remaining bytes are not
// written (the module discards the broken frame by its checks).
bool send_frame(int card_no, uint8_t code, const Params &params);

// Advances the frame sequence number: 1 to 80, then 1 again.
void advance_workno();

// Counts an abandoned frame; returns false for the caller to pass on.
bool abandon();

// Puts the interpolation engine's globals back to their start values.
void reset_engine();

} // namespace slotio::motion
