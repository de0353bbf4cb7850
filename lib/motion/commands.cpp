// Axis commands of the motion module: each packs its arguments into the
// eight parameter bytes of one frame. Every command except the segment
// command cancels a software interpolation in progress, even one whose
// arguments it then refuses.
#include "commands.h"

#include "fifo.h"
#include "interpolation.h"
#include "motion_state.h"
#include "slot/slot_table.h"

#include <cstdlib>

namespace slotio::motion {
namespace {

uint8_t axis_byte(uint8_t dir, uint8_t axis)
{
    return static_cast<uint8_t>(((dir & 1) << 4) | (axis & 3));
}

uint8_t pair_byte(uint8_t x, uint8_t y) { return static_cast<uint8_t>((x & 1) | ((y & 1) << 1)); }

void put16(Params &p, int at, uint32_t v)
{
    p[at] = static_cast<uint8_t>(v >> 8);
    p[at + 1] = static_cast<uint8_t>(v);
}

void put32(Params &p, int at, uint32_t v)
{
    put16(p, at, v >> 16);
    put16(p, at + 2, v & 0xffff);
}

void pulse_move(uint8_t card_no, uint8_t code, uint8_t axis, long pulses, uint32_t speed,
                bool with_speed)
{
    Params p{};
    p[0] = static_cast<uint8_t>((axis & 3) | (pulses <= 0 ? 0x10 : 0));
    put32(p, 1, static_cast<uint32_t>(magnitude64(pulses)));
    if (with_speed)
        put16(p, 5, speed & 0xffff);
    send_frame(card_no, code, p);
}

void simple(uint8_t card_no, uint8_t code, uint8_t p1)
{
    Params p{};
    p[0] = p1;
    send_frame(card_no, code, p);
}

// A command whose one parameter byte is p1: on a card of the table it
// cancels the pending path, then sends the frame.
void command(uint8_t card_no, uint8_t code, uint8_t p1)
{
    if (!valid_card(card_no))
        return;
    sys.kind = intp_none;
    simple(card_no, code, p1);
}

// Clears the FIFO path before a stop: FIFO reset, then fifteen zero bytes
// straight into the data port without waiting.
void stop_preamble(uint8_t card_no)
{
    sys.kind = intp_none;
    WorkFlag = 0;
    outb(card_no, fifo_reset_reg, 0);
    outb(card_no, fifo_reset_reg, 0);
    for (int i = 0; i < 15; ++i)
        outb(card_no, fifo_port_reg, 0);
}

bool stopped(uint8_t card_no, uint8_t moving_bit)
{
    if (inb(card_no, fifo_port_reg) & BUSY)
        return false;
    const uint8_t first = inb(card_no, fifo_reset_reg);
    os::usleep(10);
    const uint8_t second = inb(card_no, fifo_reset_reg);
    return !((first | second) & moving_bit);
}

void wait_stopped(uint8_t card_no, uint8_t moving_bit)
{
    if (!valid_card(card_no) || !card[card_no].registered)
        return;
    while (inb(card_no, fifo_port_reg) & BUSY) {
    }
    for (;;) {
        const uint8_t first = inb(card_no, fifo_reset_reg);
        os::usleep(10);
        const uint8_t second = inb(card_no, fifo_reset_reg);
        if (!((first | second) & moving_bit))
            return;
    }
}

} // namespace

Sent send_segment(uint8_t card_no, int seg_dx, int seg_dy)
{
    const int64_t values[2] = {seg_dx, seg_dy};
    Params p{};
    for (int i = 0; i < 2; ++i) {
        const uint64_t m = magnitude64(values[i]);
        if (m > max_segment)
            return Sent::refused;
        put16(p, 2 * i, static_cast<uint32_t>(values[i] < 0 ? (m | 0x8000) : m));
    }
    return send_frame(card_no, 16, p) ? Sent::ok : Sent::abandoned;
}

} // namespace slotio::motion

using namespace slotio;
using namespace slotio::motion;

extern "C" {

void I4053_LSP_ORG(unsigned char c, unsigned char dir, unsigned char axis)
{
    command(c, 1, axis_byte(dir, axis));
}

void I4053_HSP_ORG(unsigned char c, unsigned char dir, unsigned char axis)
{
    command(c, 2, axis_byte(dir, axis));
}

void I4053_HSD_ORG(unsigned char c, unsigned char dir, unsigned char axis)
{
    command(c, 3, axis_byte(dir, axis));
}

void I4053_LSP_PULSE_MOVE(unsigned char c, unsigned char axis, long pulses)
{
    if (!valid_card(c))
        return;
    sys.kind = intp_none;
    pulse_move(c, 4, axis, pulses, 0, false);
}

void I4053_HSP_PULSE_MOVE(unsigned char c, unsigned char axis, long pulses, unsigned int speed)
{
    if (!valid_card(c))
        return;
    sys.kind = intp_none;
    pulse_move(c, 5, axis, pulses, speed, true);
}

void I4053_LSP_MOVE(unsigned char c, unsigned char dir, unsigned char axis)
{
    command(c, 6, axis_byte(dir, axis));
}

void I4053_HSP_MOVE(unsigned char c, unsigned char dir, unsigned char axis)
{
    command(c, 7, axis_byte(dir, axis));
}

void I4053_CSP_MOVE(unsigned char c, unsigned char dir, unsigned char axis, unsigned int speed)
{
    if (!valid_card(c))
        return;
    sys.kind = intp_none;
    if (speed > max_segment)
        return;
    Params p{};
    p[0] = axis_byte(dir, axis);
    put16(p, 1, speed);
    send_frame(c, 8, p);
}

void I4053_SLOW_DOWN(unsigned char c, unsigned char axis) { command(c, 9, axis & 3); }

void I4053_SLOW_STOP(unsigned char c, unsigned char axis) { command(c, 10, axis & 3); }

void I4053_INTP_PULSE(unsigned char c, int seg_dx, int seg_dy)
{
    if (valid_card(c))
        send_segment(c, seg_dx, seg_dy);
}

void I4053_INTP_LINE(unsigned char c, long x, long y)
{
    if (!valid_card(c))
        return;
    sys.kind = intp_none;
    constexpr uint64_t max_line = 0x7ffff;
    if ((x == 0 && y == 0) || magnitude64(x) > max_line || magnitude64(y) > max_line)
        return;
    Params p{};
    put32(p, 0, static_cast<uint32_t>(x < 0 ? magnitude64(x) | 0x80000000u : magnitude64(x)));
    put32(p, 4, static_cast<uint32_t>(y < 0 ? magnitude64(y) | 0x80000000u : magnitude64(y)));
    send_frame(c, 17, p);
}

void I4053_SET_VAR(unsigned char c, unsigned char first_setting, unsigned char acc_step,
                   unsigned int low_speed, unsigned int high_speed)
{
    if (!valid_card(c))
        return;
    sys.kind = intp_none;
    if (first_setting == 0 || first_setting == 255 || acc_step == 0 || acc_step > 200 ||
        low_speed == 0 || low_speed > 200 || high_speed <= low_speed || high_speed > max_segment)
        return;
    CardRecord &r = card[c];
    r.first_setting = first_setting;
    r.acc_step = acc_step;
    r.low_speed = low_speed;
    r.high_speed = high_speed;
    Params p{};
    p[0] = first_setting;
    p[1] = acc_step;
    put16(p, 2, low_speed);
    put16(p, 4, high_speed);
    send_frame(c, 32, p);
}

void I4053_SET_DEFDIR(unsigned char c, unsigned char x, unsigned char y)
{
    command(c, 33, pair_byte(x, y));
}

void I4053_SET_MODE(unsigned char c, unsigned char x, unsigned char y)
{
    command(c, 34, pair_byte(x, y));
}

void I4053_SET_SERVO_ON(unsigned char c, unsigned char x, unsigned char y)
{
    command(c, 35, pair_byte(x, y));
}

void I4053_SET_NC(unsigned char c, unsigned char nc) { command(c, 37, nc); }

void I4053_STOP_X(unsigned char c) { command(c, 49, 1); }

void I4053_STOP_Y(unsigned char c) { command(c, 49, 2); }

void I4053_STOP_ALL(unsigned char c)
{
    if (!valid_card(c))
        return;
    stop_preamble(c);
    send_frame(c, 50, {});
}

void I4053_RESET_SYSTEM(unsigned char c)
{
    if (!valid_card(c))
        return;
    stop_preamble(c);
    send_frame(c, 50, {});
    send_frame(c, 48, {});
}

void I4053_EMG_STOP(unsigned char c)
{
    if (!valid_card(c))
        return;
    stop_preamble(c);
    advance_workno();
    // The stop frame goes straight into the data port, never waiting for room.
    constexpr uint8_t code = 50;
    constexpr uint8_t check = code; // all parameters are 0
    for (int copy = 0; copy < 2; ++copy) {
        const uint8_t head[] = {0x00, 0x55, 0xaa, code};
        for (uint8_t b : head)
            outb(c, fifo_port_reg, b);
        for (int i = 0; i < 8; ++i)
            outb(c, fifo_port_reg, 0);
        outb(c, fifo_port_reg, copy == 0 ? check : static_cast<uint8_t>(~check));
        outb(c, fifo_port_reg, workno);
    }
}

unsigned char I4053_LIMIT_X(unsigned char c) { return valid_card(c) ? inb(c, fifo_port_reg) : 0; }

unsigned char I4053_LIMIT_Y(unsigned char c) { return valid_card(c) ? inb(c, fifo_reset_reg) : 0; }

unsigned char I4053_IS_X_STOP(unsigned char c) { return valid_card(c) && stopped(c, X_MOVING); }

unsigned char I4053_IS_Y_STOP(unsigned char c) { return valid_card(c) && stopped(c, Y_MOVING); }

void I4053_WAIT_X(unsigned char c) { wait_stopped(c, X_MOVING); }

void I4053_WAIT_Y(unsigned char c) { wait_stopped(c, Y_MOVING); }

} // extern "C"
