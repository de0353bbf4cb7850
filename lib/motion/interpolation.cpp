// The software interpolation engine: the speed profiles, the line core, the
// dispatcher and the pump calls. A path is cut into segments whose length
// comes from the profile; each segment goes to the module as one
// I4053_INTP_PULSE frame. A pass sends segments until the FIFO reports full
// or the path ends; the application pumps passes until the path is done.
#include "interpolation.h"
#include "commands.h"
#include "fifo.h"
#include "motion_state.h"
#include "slot/slot_table.h"

#include <algorithm>
#include <cmath>

namespace slotio {

uint64_t total_pulse = 0;
uint64_t rem_pulse = 0;
uint32_t d_length = 0;
uint8_t Dec_Flag = 0;
uint8_t profile_state = 0;
uint64_t total_pulseX = 0;
uint64_t total_pulseY = 0;
int8_t x_dir = 1;
int8_t y_dir = 1;
int32_t dx = 0;
int32_t dy = 0;
uint64_t pulse_R = 0;
double total_length = 0;

namespace motion {

uint64_t magnitude64(int64_t v) { return v < 0 ? 0 - static_cast<uint64_t>(v) : v; }

bool profile_can_run(uint8_t card_no, uint32_t top_speed, uint32_t speed, uint8_t const_speed)
{
    if (!valid_card(card_no))
        return false;
    if (const_speed)
        return speed != 0;
    // The trapezoidal profile needs a top speed and an acceleration step;
    // a card never registered nor set has neither.
    return top_speed != 0 && card[card_no].acc_step != 0;
}

void next_segment_length(uint8_t card_no, uint32_t speed, uint8_t const_speed)
{
    if (const_speed == 0)
        I4053_INTP_PROFILE(card_no);
    else
        I4053_INTP_PROFILE_CSPD(std::min(speed, max_segment));
}

void start_run()
{
    rem_pulse = total_pulse;
    Dec_Flag = 0;
    d_length = 0;
    profile_state = 2;
    state = 2;
}

unsigned char end_pass()
{
    if (profile_state == 1) {
        state = 1;
        return 0;
    }
    state = 2;
    return 1;
}

void request_path(uint8_t kind, uint8_t card_no, int64_t x, int64_t y, uint32_t speed,
                  uint8_t const_speed, int64_t r, uint8_t dir)
{
    if (!valid_card(card_no))
        return;
    sys.kind = kind;
    sys.card_no = card_no;
    sys.x = x;
    sys.y = y;
    sys.r = r;
    sys.dir = dir;
    sys.speed = speed;
    sys.const_speed = const_speed;
    state = 1;
    intp_state_machine(); // sets the path up (or refuses it); sends nothing
}

void reset_engine()
{
    total_pulse = rem_pulse = 0;
    d_length = 0;
    Dec_Flag = profile_state = 0;
    total_pulseX = total_pulseY = 0;
    x_dir = y_dir = 1;
    dx = dy = 0;
    pulse_R = 0;
    total_length = 0;
    reset_circle_arc();
}

} // namespace motion
} // namespace slotio

using namespace slotio;
using namespace slotio::motion;

extern "C" {

void I4053_INTP_PROFILE(unsigned char card_no)
{
    if (!valid_card(card_no))
        return;
    const uint32_t L = card[card_no].low_speed;
    const uint32_t A = card[card_no].acc_step;
    const uint32_t H = High_Speed;
    if (static_cast<uint32_t>(4 * L) > total_pulse) {
        // Short move: constant low speed.
        if (L > rem_pulse) {
            d_length = static_cast<uint32_t>(rem_pulse);
            profile_state = 1;
        } else {
            d_length = L;
        }
    } else {
        const uint32_t next = d_length + A;
        const uint64_t braking =
            A == 0 ? UINT64_MAX
                   : static_cast<uint64_t>(next) * next / (2 * static_cast<uint64_t>(A));
        if (Dec_Flag == 0 && rem_pulse > braking) {
            if (d_length < H)
                d_length += A;
            if (d_length >= H)
                d_length = H;
        } else {
            Dec_Flag = 1;
            const uint64_t u =
                rem_pulse == 0 ? 0 : static_cast<uint64_t>(d_length) * d_length / (2 * rem_pulse);
            if (static_cast<int32_t>(static_cast<uint32_t>(d_length - u)) < static_cast<int32_t>(A))
                d_length = A;
            else
                d_length = static_cast<uint32_t>(d_length - u);
        }
        if (d_length >= rem_pulse) {
            d_length = static_cast<uint32_t>(rem_pulse);
            profile_state = 1;
        }
    }
    rem_pulse -= d_length;
}

void I4053_INTP_PROFILE_CSPD(unsigned int length)
{
    if (length < rem_pulse) {
        d_length = length;
    } else {
        d_length = static_cast<uint32_t>(rem_pulse);
        profile_state = 1;
    }
    rem_pulse -= d_length;
}

unsigned char I4053_LINE_CORE(unsigned char card_no, long x, long y, unsigned int speed,
                              unsigned char const_speed)
{
    if (state == 1) {
        WorkFlag = 1;
        if (x == 0 && y == 0)
            return 0;
        const uint32_t top = std::min(speed, max_top_speed);
        const uint64_t ax = magnitude64(x), ay = magnitude64(y);
        const uint64_t longest = ax > ay ? ax : ay;
        const double length = std::sqrt(static_cast<double>(ax) * static_cast<double>(ax) +
                                        static_cast<double>(ay) * static_cast<double>(ay));
        // The top speed is given along the path; the profile counts the long axis.
        const auto top_long = static_cast<uint32_t>(static_cast<double>(longest) * top / length);
        if (!profile_can_run(card_no, top_long, speed, const_speed))
            return 0;
        x_dir = x < 0 ? -1 : 1;
        y_dir = y < 0 ? -1 : 1;
        total_pulseX = ax;
        total_pulseY = ay;
        total_pulse = longest;
        total_length = length;
        High_Speed = top_long;
        pulse_R = 0;
        start_run();
        return 1;
    }
    do {
        if (WorkFlag == 0) {
            profile_state = 1;
            break;
        }
        next_segment_length(card_no, speed, const_speed);
        // The short axis carries its remainder, so its steps add up exactly.
        if (total_pulseX > total_pulseY) {
            dx = static_cast<int32_t>(d_length);
            const uint64_t q = static_cast<uint64_t>(d_length) * total_pulseY + pulse_R;
            dy = static_cast<int32_t>(q / total_pulseX);
            pulse_R = q % total_pulseX;
        } else {
            dy = static_cast<int32_t>(d_length);
            const uint64_t q = static_cast<uint64_t>(d_length) * total_pulseX + pulse_R;
            dx = static_cast<int32_t>(q / total_pulseY);
            pulse_R = q % total_pulseY;
        }
        if (send_segment(card_no, x_dir * dx, y_dir * dy) == Sent::abandoned) {
            profile_state = 1; // the path cannot end where it should: drop it
            break;
        }
    } while (profile_state == 2 && fifo_full == 0);
    return end_pass();
}

unsigned char intp_state_machine(void)
{
    unsigned char running;
    switch (sys.kind) {
    case intp_line:
        running = I4053_LINE_CORE(sys.card_no, sys.x, sys.y, sys.speed, sys.const_speed);
        break;
    case intp_circle:
        running = I4053_CIRCLE_CORE(sys.card_no, sys.x, sys.y, sys.dir, sys.speed, sys.const_speed);
        break;
    case intp_arc:
        running =
            I4053_ARC_CORE(sys.card_no, sys.x, sys.y, sys.r, sys.dir, sys.speed, sys.const_speed);
        break;
    default: state = 1; return 0;
    }
    if (running == 0) {
        state = 1;
        sys.kind = intp_none;
    }
    return running;
}

void I4053_INTP_LINE02(unsigned char card_no, long x, long y, unsigned int speed,
                       unsigned char const_speed)
{
    request_path(intp_line, card_no, x, y, speed, const_speed, sys.r, sys.dir);
}

void I4053_GET_CARD(unsigned char card_no)
{
    if (valid_card(card_no) && card[card_no].registered)
        intp_state_machine();
}

unsigned char I4053_INTP_STOP(void)
{
    intp_state_machine();
    if (!(inb(sys.card_no, fifo_port_reg) & INTP_BUSY))
        sys.kind = intp_none;
    return sys.kind != intp_none;
}

} // extern "C"
