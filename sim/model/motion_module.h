// The two-axis pulse-output motion module (ID 14), driven through a command
// FIFO.
//
// Registers: 0 reads the ID byte; 1 written is the FIFO data port (one byte
// per write), 1 read the status (0x20 BUSY, 0x40 FIFO_READY, 0x80 INTP_BUSY);
// 2 written resets the FIFO, 2 read shows which axis moves (0x40 X, 0x80 Y).
//
// Every command is a 28-byte frame, two 14-byte copies of
//   00 55 AA code p1..p8 check seq
// where check is the XOR of the code and p1..p8 in the first copy and its
// complement in the second, and seq (1 to 80) is the same in both and
// differs from the last accepted frame's. The module hunts for 00 55 AA,
// skipping (and counting) any other byte, checks the frame and executes it;
// a frame that fails a check is counted, reported and hunted through again
// from its second byte.
//
// Timing. The module takes the next frame out of the FIFO only when the
// command it executes has finished, so the FIFO drains at the rate the
// module moves:
//   - an interpolation segment (16) takes one segment period
//     (`segment_time_us`, 1000 us unless the scenario says otherwise);
//   - a pulse move (4, 5) and a hardware line (17) take one period per 2047
//     pulses of the longer axis travel, rounded up (no time for no travel);
//   - homing (1, 2, 3) takes as long as a pulse move back to 0, at least one
//     period;
//   - everything else (settings, continuous moves, stops) takes no time.
// Continuous moves (6, 7, 8) run until stopped, at the low speed (6), the
// high speed (7) or the speed in the frame (8; 0 means the low speed), in
// pulses per millisecond, whatever the segment period; slow down (9) drops
// a running axis to the low speed.
//
// Stops. Stop one axis (49) takes its turn in the FIFO like any command.
// Stop all (50) is watched for at the FIFO's input: as soon as its last byte
// is written it stops both axes where they are, abandons the command being
// executed and throws away everything written before it. A FIFO reset
// (register 2) empties the FIFO and the frame being gathered but lets the
// executing command run on; it also forgets the last sequence number, so
// that a program starting afresh at 1 is not taken for a repeat.
#pragma once

#include "modules.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace pacsim {

struct Point {
    int64_t x = 0;
    int64_t y = 0;
    bool operator==(const Point &) const = default;
};

// What the module has done since power-up.
struct MotionCounters {
    uint64_t segments = 0;  // interpolation segments run to their end
    uint64_t accepted = 0;  // frames accepted
    uint64_t rejected = 0;  // frames that failed a check
    uint64_t discarded = 0; // bytes skipped while hunting for a frame start
    uint64_t overflows = 0; // bytes written into a full FIFO, lost
    uint64_t dropped = 0;   // bytes thrown away unexecuted by a FIFO reset or a stop-all
    uint64_t unknown = 0;   // accepted frames with a command code the module does not know
};

// What the setting commands (32 to 37) store; the reset command (48) puts
// the defaults back.
struct MotionSettings {
    uint8_t first_setting = 10;
    uint8_t acc_step = 1;
    uint16_t low_speed = 10; // pulses per millisecond for continuous moves
    uint16_t high_speed = 100;
    uint8_t default_dir = 0; // pair bytes: bit 0 X, bit 1 Y
    uint8_t mode = 0;
    uint8_t servo_on = 0;
    uint8_t nc = 0;
    bool operator==(const MotionSettings &) const = default;
};

// The module's logic on explicit time (microseconds); MotionModule runs it
// on the controller's clock.
class MotionEngine {
  public:
    static constexpr size_t frame_size = 28;
    static constexpr int64_t segment_pulses = 2047; // the most an axis moves in one period

    // Status bits of registers 1 and 2.
    static constexpr uint8_t busy = 0x20, fifo_ready = 0x40, intp_busy = 0x80;
    static constexpr uint8_t x_moving = 0x40, y_moving = 0x80;

    size_t fifo_depth = 512; // bytes
    int64_t segment_time_us = 1000;
    bool never_ready = false;      // fault: FIFO_READY never shows
    size_t path_limit = 1'000'000; // points kept; a longer path is thinned
    std::function<void(const std::string &)> log;

    // Brings the module up to `now`; every call below does it first.
    void advance(int64_t now);

    void write_fifo(uint8_t byte, int64_t now);
    void reset_fifo(int64_t now);
    uint8_t status(int64_t now);
    uint8_t axis_status(int64_t now);

    // Where the axes are at `now`, part of a running move included.
    Point position(int64_t now);
    // The position after every motion executed so far, from (0, 0).
    const std::vector<Point> &path() const { return path_; }
    const MotionCounters &counters() const { return counters_; }
    const MotionSettings &settings() const { return settings_; }
    size_t fifo_level() const { return fifo_.size(); }

  private:
    enum class Kind { none, segment, move }; // move: homing, pulse move, hardware line
    struct Running {
        Kind kind = Kind::none;
        Point delta;
        int64_t start = 0;
        int64_t end = 0;
    };
    struct Jog { // a continuous move of one axis
        bool on = false;
        int dir = 1;
        int64_t speed = 0; // pulses per millisecond
        int64_t since = 0; // when the speed was last set
        int64_t base = 0;  // the axis position then
    };

    void pump(int64_t t);
    void hunt(uint8_t byte, int64_t t);
    void complete_frame(int64_t t);
    void watch_input(int64_t t);
    void stop_all_now(const std::array<uint8_t, frame_size> &frame, int64_t t);
    // Empties the FIFO and the parser; the number of bytes thrown away.
    size_t discard_input();
    void execute(const uint8_t *frame, int64_t t);
    void start_motion(Kind kind, Point delta, int axes, int64_t t, bool at_least_one = false);
    void finish(int64_t t);
    void abandon(int64_t t);
    Point at(int64_t t) const; // position without advancing
    Point partial(int64_t t) const;
    int64_t jog_position(int axis, int64_t t) const;
    void start_jog(int axes, int dir, int64_t speed, int64_t t);
    void stop_jog(int axes, int64_t t);
    void record(Point p);
    void take_queued_segments();

    std::deque<uint8_t> fifo_;
    std::vector<uint8_t> frame_;               // the frame being gathered
    std::deque<uint8_t> replay_;               // bytes of a rejected frame, hunted through again
    int last_seq_ = 0;                         // sequence number of the last accepted frame, 0 none
    uint64_t written_ = 0;                     // bytes that ever entered the FIFO
    uint64_t taken_ = 0;                       // bytes ever taken out of it
    std::array<uint8_t, frame_size> recent_{}; // the last bytes that entered, a ring
    size_t recent_len_ = 0;                    // how many of them follow the last FIFO reset
    std::deque<uint64_t> queued_segments_;     // `written_` at the end of each waiting segment
    bool overflowing_ = false;

    Running running_;
    std::array<Jog, 2> jog_{};
    Point pos_; // axes not jogging, without the running move
    std::vector<Point> path_{Point{}};
    MotionCounters counters_;
    MotionSettings settings_;
};

class MotionModule : public Module {
  public:
    static constexpr uint8_t motion_id = 14;
    static constexpr size_t default_fifo_depth = 512;
    static constexpr int64_t default_segment_time_us = 1000;

    explicit MotionModule(uint8_t id = motion_id);
    MotionModule(const MotionModule &) = delete;
    MotionModule &operator=(const MotionModule &) = delete;

    // Scenario settings and faults.
    void set_fifo_depth(size_t bytes) { engine_.fifo_depth = bytes; }
    void set_segment_time_us(int64_t us) { engine_.segment_time_us = us < 0 ? 0 : us; }
    void set_never_ready(bool never) { engine_.never_ready = never; }
    void set_path_limit(size_t points) { engine_.path_limit = points < 2 ? 2 : points; }

    uint32_t read(uint32_t reg) const override;
    void write(uint32_t reg, uint32_t value) override;

    // The state as of the clock's now.
    Point position() const;
    // The recorded path, ending at the position now.
    std::vector<Point> path() const;
    MotionCounters counters() const;
    MotionSettings settings() const;
    size_t fifo_level() const;

    // The recorded path as a small self-contained SVG picture.
    std::string svg() const;

  private:
    MotionEngine &engine() const;
    mutable MotionEngine engine_;
};

// "end position (1000, -300) after 62 segments"
std::string path_caption(Point end, uint64_t segments);

// A path as an SVG picture: a polyline with Y up, scaled to fit with a
// margin, the start (green) and the end (red) marked, the caption below.
std::string path_svg(const std::vector<Point> &path, uint64_t segments);

} // namespace pacsim
