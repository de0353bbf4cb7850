// Process-wide state of the motion driver: the frame sequence number, the
// FIFO flag, the pending software interpolation and the engine's globals.
// One set for the whole process, shared by all cards.
#pragma once

#include "card.h"

#include <cstdint>

namespace slotio {

// Module registers and status bits.
inline constexpr int fifo_port_reg = 1;  // write: FIFO data; read: status
inline constexpr int fifo_reset_reg = 2; // write: FIFO reset; read: axis status
inline constexpr uint8_t BUSY = 0x20;
inline constexpr uint8_t FIFO_READY = 0x40;
inline constexpr uint8_t INTP_BUSY = 0x80;
inline constexpr uint8_t X_MOVING = 0x40;
inline constexpr uint8_t Y_MOVING = 0x80;
inline constexpr uint8_t motion_module_id = 14;

// Kinds of pending interpolation.
inline constexpr uint8_t intp_none = 0, intp_line = 2, intp_circle = 3, intp_arc = 4;

struct PendingInterpolation {
    uint8_t kind;
    uint8_t card_no;
    int64_t x;
    int64_t y;
    int64_t r;
    uint8_t dir;
    uint32_t speed;
    uint8_t const_speed;
};

extern uint8_t workno;
extern uint8_t fifo_full;
extern PendingInterpolation sys;
extern uint8_t WorkFlag;
extern uint8_t state;
extern uint32_t High_Speed;

// Engine globals (lines, circles, arcs).
extern uint64_t total_pulse;
extern uint64_t rem_pulse;
extern uint32_t d_length;
extern uint8_t Dec_Flag;
extern uint8_t profile_state;
extern uint64_t total_pulseX;
extern uint64_t total_pulseY;
extern int8_t x_dir;
extern int8_t y_dir;
extern int32_t dx;
extern int32_t dy;
extern uint64_t pulse_R;
extern double total_length;

// Circle and arc globals.
extern double radius, theta, d_theta, Xr, Yr, xx1, yy1, Xn, Yn;
extern double th, th1, th2, xc, yc, x_new, y_new, x_old, y_old;

namespace motion {

// How long one byte may wait for FIFO_READY before its frame is abandoned.
inline constexpr int64_t fifo_ready_timeout_us = 1'000'000;

// Frames abandoned because the module never showed FIFO_READY (or its slot
// refused the status read); the engine drops its path when it happens.
extern unsigned fifo_timeouts;

// Set when the current frame was abandoned; cleared at the start of a frame.
extern bool frame_abandoned;

// The longest axis step of one segment frame.
inline constexpr uint32_t max_segment = 2047;
// The top speed of the trapezoidal profile.
inline constexpr uint32_t max_top_speed = 2040;

// Puts every motion global back to its value at program start (tests).
void reset_state();

} // namespace motion
} // namespace slotio
