// Circle and arc interpolation. Each segment length from the speed profile
// becomes an angle step along the circle; the next ideal point is computed
// in floating point and the whole-pulse difference to the point already
// reached goes out as one segment, so what truncation leaves over goes with
// a later segment and the last one lands exactly on the target.
#include "commands.h"
#include "interpolation.h"
#include "motion_state.h"
#include "slotio.h"

#include <algorithm>
#include <cmath>

namespace slotio {

double radius = 0, theta = 0, d_theta = 0, Xr = 0, Yr = 0, xx1 = 0, yy1 = 0, Xn = 0, Yn = 0;
double th = 0, th1 = 0, th2 = 0, xc = 0, yc = 0, x_new = 0, y_new = 0, x_old = 0, y_old = 0;

namespace motion {
namespace {

// The constants the module's paths are defined with (not full precision).
constexpr double two_pi = 6.283185308;
constexpr double pi = 3.141592654;
constexpr double half_pi = 1.570796327;

// Angle of the vector (vx, vy) from +X, counter-clockwise.
double angle_of(double vx, double vy)
{
    if (vx != 0)
        return std::atan(vy / vx) + (vx < 0 ? pi : 0);
    return vy > 0 ? half_pi : -half_pi;
}

// One run pass around the centre (cx, cy) from the reached point (px, py):
// `last_x`, `last_y` is where the final segment must land.
unsigned char run_around(uint8_t card_no, double cx, double cy, double &ideal_x, double &ideal_y,
                         double &px, double &py, double last_x, double last_y, uint8_t dir,
                         uint32_t speed, uint8_t const_speed)
{
    do {
        if (WorkFlag == 0) {
            profile_state = 1;
            break;
        }
        next_segment_length(card_no, speed, const_speed);
        d_theta = d_length / radius;
        const double next = dir == 0 ? theta - d_theta : theta + d_theta;
        ideal_x = radius * std::cos(next) + cx;
        ideal_y = radius * std::sin(next) + cy;
        theta = next;
        if (profile_state == 1) {
            ideal_x = last_x;
            ideal_y = last_y;
        }
        dx = static_cast<int32_t>(ideal_x - px);
        dy = static_cast<int32_t>(ideal_y - py);
        px += dx;
        py += dy;
        if (send_segment(card_no, dx, dy) == Sent::abandoned) {
            profile_state = 1; // the path cannot end where it should: drop it
            break;
        }
    } while (profile_state == 2 && fifo_full == 0);
    return end_pass();
}

} // namespace

void reset_circle_arc()
{
    radius = theta = d_theta = Xr = Yr = xx1 = yy1 = Xn = Yn = 0;
    th = th1 = th2 = xc = yc = x_new = y_new = x_old = y_old = 0;
}

} // namespace motion
} // namespace slotio

using namespace slotio;
using namespace slotio::motion;

extern "C" {

unsigned char I4053_CIRCLE_CORE(unsigned char card_no, long x, long y, unsigned char dir,
                                unsigned int speed, unsigned char const_speed)
{
    if (state == 1) {
        WorkFlag = 1;
        if (x == 0 && y == 0)
            return 0;
        const uint32_t top = std::min(speed, max_top_speed);
        if (!profile_can_run(card_no, top, speed, const_speed))
            return 0;
        High_Speed = top;
        const double cx = static_cast<double>(x), cy = static_cast<double>(y);
        radius = std::sqrt(cx * cx + cy * cy);
        total_pulse = static_cast<uint64_t>(two_pi * radius);
        Xr = -cx; // the start point seen from the centre
        Yr = -cy;
        theta = angle_of(Xr, Yr);
        Xn = Yn = 0;
        start_run();
        return 1;
    }
    // A full circle closes exactly on its start point.
    return run_around(card_no, static_cast<double>(x), static_cast<double>(y), xx1, yy1, Xn, Yn, 0,
                      0, dir, speed, const_speed);
}

unsigned char I4053_ARC_CORE(unsigned char card_no, long x, long y, long r, unsigned char dir,
                             unsigned int speed, unsigned char const_speed)
{
    if (state == 1) {
        WorkFlag = 1;
        if (r == 0)
            return 0;
        if (dir > 1) // the centre is placed for clockwise or counter-clockwise only
            return 0;
        const uint32_t top = std::min(speed, max_top_speed);
        const double rad = static_cast<double>(magnitude64(r));
        const double ex = static_cast<double>(x), ey = static_cast<double>(y);
        const double half_chord = std::sqrt(ex * ex + ey * ey) / 2.0;
        if (half_chord > rad) // no circle of that radius joins the two points
            return 0;
        if (!profile_can_run(card_no, top, speed, const_speed))
            return 0;
        High_Speed = top;
        radius = rad;
        xx1 = ex;
        yy1 = ey;
        th = 2 * std::asin(half_chord / radius);
        const bool right_side = (r > 0 && dir == 0) || (r < 0 && dir == 1);
        th1 = right_side ? (pi - th) / 2.0 : -(pi - th) / 2.0;
        th2 = angle_of(xx1, yy1);
        xc = std::sin(th2) * (std::sin(th1) * radius) + xx1 / 2.0;
        yc = yy1 / 2.0 - std::cos(th2) * (std::sin(th1) * radius);
        // Start angle: the start point (the origin) seen from the centre.
        if (xc != 0)
            theta = std::atan(yc / xc) + (xc > 0 ? pi : 0);
        else
            theta = yc < 0 ? half_pi : -half_pi;
        total_pulse = static_cast<uint64_t>(r > 0 ? radius * th : (two_pi - th) * radius);
        x_old = y_old = 0;
        start_run();
        return 1;
    }
    return run_around(card_no, xc, yc, x_new, y_new, x_old, y_old, xx1, yy1, dir, speed,
                      const_speed);
}

void I4053_INTP_CIRCLE02(unsigned char card_no, long x, long y, unsigned char dir,
                         unsigned int speed, unsigned char const_speed)
{
    request_path(intp_circle, card_no, x, y, speed, const_speed, sys.r, dir);
}

void I4053_INTP_ARC02(unsigned char card_no, long x, long y, long r, unsigned char dir,
                      unsigned int speed, unsigned char const_speed)
{
    request_path(intp_arc, card_no, x, y, speed, const_speed, r, dir);
}

} // extern "C"
