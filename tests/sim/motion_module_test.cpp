// The simulated motion module on its own: frames written byte by byte
// through slot requests, on a virtual clock that only the test moves.
#include "sim/model/controller.h"
#include "sim/model/motion_module.h"
#include "slotio.h"
#include "support/model_registers.h"
#include "support/motion_frames.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using pacsim::MotionCounters;
using pacsim::MotionModule;
using pacsim::MotionSettings;
using pacsim::Point;

constexpr uint8_t BUSY = 0x20, FIFO_READY = 0x40, INTP_BUSY = 0x80;
constexpr uint8_t X_MOVING = 0x40, Y_MOVING = 0x80;

using Bytes = std::vector<uint8_t>;
using Params = std::array<uint8_t, 8>;

Bytes frame(uint8_t code, const Params &p, uint8_t seq)
{
    return slotio_test::frame_bytes(code, p, seq);
}

// 16-bit sign and magnitude, high byte first.
void put16(uint8_t *at, int v)
{
    const int m = v < 0 ? -v : v;
    at[0] = static_cast<uint8_t>((m >> 8) | (v < 0 ? 0x80 : 0));
    at[1] = static_cast<uint8_t>(m);
}

void put32(uint8_t *at, int64_t v, bool sign_magnitude)
{
    const uint64_t m = sign_magnitude && v < 0 ? uint64_t(-v) : uint64_t(v);
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(m >> (24 - 8 * i));
    if (sign_magnitude && v < 0)
        at[0] |= 0x80;
}

Params segment_params(int dx, int dy)
{
    Params p{};
    put16(&p[0], dx);
    put16(&p[2], dy);
    return p;
}

Params line_params(int64_t x, int64_t y)
{
    Params p{};
    put32(&p[0], x, true);
    put32(&p[4], y, true);
    return p;
}

// p1 = axis byte (bit 4 negative, bits 0-1 axis), p2-p5 = pulses.
Params pulse_params(uint8_t axis_byte, uint32_t pulses)
{
    Params p{axis_byte};
    put32(&p[1], pulses, false);
    return p;
}

class MotionModuleTest : public ::testing::Test {
  protected:
    static constexpr int slot = 4;
    static constexpr int64_t period = MotionModule::default_segment_time_us;

    pacsim::Controller controller;
    pacsim::VirtualClock clock;
    MotionModule *motion = nullptr;
    std::vector<std::string> notes;
    uint8_t seq = 0;

    void SetUp() override
    {
        controller.set_clock(clock);
        controller.log = [this](int s, const std::string &text) {
            notes.push_back("slot " + std::to_string(s) + ": " + text);
        };
        fresh();
    }

    // A new module in the slot, as after power-up.
    void fresh()
    {
        auto m = std::make_unique<MotionModule>();
        motion = m.get();
        controller.install(slot, std::move(m));
        notes.clear();
    }

    uint8_t read(uint32_t reg) { return slotio_test::model_read(controller, slot, reg); }
    void write(uint32_t reg, uint8_t value)
    {
        slotio_test::model_write(controller, slot, reg, value);
    }
    void send(const Bytes &bytes)
    {
        for (uint8_t b : bytes)
            write(1, b);
    }
    // Sequence numbers as a program counts them: 1 to 80, then 1 again.
    uint8_t next_seq()
    {
        seq = static_cast<uint8_t>(seq % 80 + 1);
        return seq;
    }
    void command(uint8_t code, const Params &p = {}) { send(frame(code, p, next_seq())); }
    void segment(int dx, int dy) { command(16, segment_params(dx, dy)); }
    void reset_fifo()
    {
        write(2, 0);
        write(2, 0);
    }
    // The stop preamble: FIFO reset, then fifteen zero bytes.
    void stop_preamble()
    {
        reset_fifo();
        send(Bytes(15, 0x00));
    }
    void wait(int64_t us) { clock.advance(us); }
    MotionCounters counters() const { return motion->counters(); }
};

TEST_F(MotionModuleTest, AtRestItAnswersItsIdAndAReadyFifo)
{
    EXPECT_EQ(read(0), 14);
    EXPECT_EQ(read(1), FIFO_READY);
    EXPECT_EQ(read(2), 0);
    EXPECT_EQ(motion->position(), (Point{0, 0}));
    EXPECT_EQ(motion->path(), std::vector<Point>{Point{}});
}

struct SegmentCase {
    int dx, dy;
    uint8_t moving;
};

TEST_F(MotionModuleTest, SegmentMovesTheAxesForOnePeriod)
{
    const SegmentCase cases[] = {
        {-5, 300, X_MOVING | Y_MOVING},
        {2047, -2047, X_MOVING | Y_MOVING},
        {0, 7, Y_MOVING},
        {-1, 0, X_MOVING},
        {0, 0, 0}, // a zero segment still takes its period
    };
    Point at{};
    uint64_t done = 0;
    for (const SegmentCase &c : cases) {
        SCOPED_TRACE(std::to_string(c.dx) + ", " + std::to_string(c.dy));
        segment(c.dx, c.dy);
        EXPECT_EQ(read(1), INTP_BUSY | FIFO_READY);
        EXPECT_EQ(read(2), c.moving);
        wait(period - 1);
        EXPECT_EQ(read(1), INTP_BUSY | FIFO_READY);
        EXPECT_EQ(counters().segments, done);
        wait(1);
        EXPECT_EQ(read(1), FIFO_READY);
        EXPECT_EQ(read(2), 0);
        at = {at.x + c.dx, at.y + c.dy};
        EXPECT_EQ(motion->position(), at);
        EXPECT_EQ(motion->path().back(), at);
        EXPECT_EQ(counters().segments, ++done);
    }
    EXPECT_EQ(counters().accepted, std::size(cases));
    EXPECT_EQ(motion->path().size(), std::size(cases) + 1);
    EXPECT_EQ(counters().rejected, 0u);
    EXPECT_EQ(counters().discarded, 0u);
    EXPECT_TRUE(notes.empty());
}

struct Corruption {
    const char *what;
    std::vector<std::pair<int, uint8_t>> bytes; // frame offset, new value
    const char *reason;
};

TEST_F(MotionModuleTest, CorruptFramesAreRejectedCountedAndReported)
{
    // segment (1, 2) with sequence number 5: check byte 0x10 ^ 0x01 ^ 0x02 = 0x13
    const Bytes good = frame(16, segment_params(1, 2), 5);
    ASSERT_EQ(good[12], 0x13);
    const Corruption cases[] = {
        {"check byte", {{12, 0x12}}, "check byte 0x12, expected 0x13"},
        {"code in both copies", {{3, 0x11}, {17, 0x11}}, "check byte 0x13, expected 0x12"},
        {"copies differ", {{19, 0x09}}, "copies differ in byte 5 (0x01, 0x09)"},
        {"second check byte not the complement",
         {{26, 0x13}},
         "second check byte 0x13, expected 0xec"},
        {"second copy without its start",
         {{15, 0x54}},
         "second copy starts 00 54 AA, not 00 55 AA"},
        {"sequence number 0", {{13, 0}, {27, 0}}, "sequence number 0 outside 1 to 80"},
        {"sequence number 81", {{13, 81}, {27, 81}}, "sequence number 81 outside 1 to 80"},
        {"sequence numbers differ", {{27, 6}}, "sequence numbers 5 and 6 differ"},
    };
    for (const Corruption &c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        Bytes bad = good;
        for (auto [at, value] : c.bytes)
            bad[at] = value;
        send(bad);
        EXPECT_EQ(counters().rejected, 1u);
        EXPECT_EQ(counters().accepted, 0u);
        EXPECT_EQ(read(1), FIFO_READY); // nothing executes
        wait(period);
        EXPECT_EQ(motion->position(), (Point{0, 0}));
        ASSERT_FALSE(notes.empty());
        EXPECT_EQ(notes.front(), std::string("slot 4: frame rejected: ") + c.reason);
    }
}

TEST_F(MotionModuleTest, RepeatedFrameIsADuplicate)
{
    const Bytes f = frame(16, segment_params(10, 0), 7);
    send(f);
    wait(period);
    send(f);
    wait(period);
    EXPECT_EQ(motion->position(), (Point{10, 0}));
    EXPECT_EQ(counters().accepted, 1u);
    EXPECT_EQ(counters().rejected, 1u);
    EXPECT_EQ(notes, std::vector<std::string>{
                         "slot 4: frame rejected: sequence number 7 repeats the last frame"});
    // A FIFO reset forgets the number: a program starting afresh is heard.
    reset_fifo();
    send(f);
    wait(period);
    EXPECT_EQ(motion->position(), (Point{20, 0}));
}

TEST_F(MotionModuleTest, AfterABadFrameTheParserHuntsOnFromItsSecondByte)
{
    Bytes bad = frame(16, segment_params(100, 0), next_seq());
    bad[12] ^= 0xff;
    send(bad);
    segment(0, 3);
    wait(period);
    // The good frame executes. On the way the bad frame's second copy was
    // taken for a frame start, together with the good frame's first copy,
    // and rejected as well.
    EXPECT_EQ(motion->position(), (Point{0, 3}));
    EXPECT_EQ(counters().accepted, 1u);
    EXPECT_EQ(counters().rejected, 2u);
    EXPECT_EQ(counters().segments, 1u);
}

TEST_F(MotionModuleTest, AStrayFrameStartCostsOneRejectionNotTheFrameAfterIt)
{
    // 00 55 AA and a frame: the module first takes the stray start and 25
    // bytes of the frame for a frame, rejects it, and finds the real frame
    // by hunting on from the second byte of the bad one.
    send({0x00, 0x55, 0xaa});
    segment(-8, 8);
    wait(period);
    EXPECT_EQ(motion->position(), (Point{-8, 8}));
    EXPECT_EQ(counters().rejected, 1u);
    EXPECT_EQ(counters().accepted, 1u);
    EXPECT_EQ(counters().discarded, 2u); // the stray 55 AA
}

TEST_F(MotionModuleTest, BytesBeforeAFrameStartAreSkippedNotRejected)
{
    stop_preamble();
    command(50);
    EXPECT_EQ(counters().discarded, 15u);
    EXPECT_EQ(counters().rejected, 0u);
    EXPECT_EQ(counters().accepted, 1u);

    // Any junk, and frame starts that break off, are skipped the same way.
    send({0x55, 0xaa, 0x00, 0x55, 0x00, 0x07});
    segment(4, 4);
    wait(period);
    EXPECT_EQ(motion->position(), (Point{4, 4}));
    EXPECT_EQ(counters().discarded, 15u + 6u);
    EXPECT_EQ(counters().rejected, 0u);
}

TEST_F(MotionModuleTest, FifoFillsThenDrainsAtTheSegmentRate)
{
    motion->set_fifo_depth(3 * 28);
    segment(10, 0); // taken at once, executing
    for (int i = 0; i < 3; ++i)
        segment(10, 0);
    EXPECT_EQ(motion->fifo_level(), 84u);
    EXPECT_EQ(read(1), INTP_BUSY); // FIFO_READY clear
    write(1, 0x00);                // one byte too many
    EXPECT_EQ(counters().overflows, 1u);
    EXPECT_EQ(notes, std::vector<std::string>{"slot 4: FIFO full (84 bytes): byte 0x00 lost"});

    wait(period - 1);
    EXPECT_EQ(read(1), INTP_BUSY);
    wait(1); // the first segment ends; the module takes the second frame
    EXPECT_EQ(read(1), INTP_BUSY | FIFO_READY);
    EXPECT_EQ(motion->fifo_level(), 56u);
    EXPECT_EQ(motion->position(), (Point{10, 0}));
    wait(2 * period);
    EXPECT_EQ(motion->fifo_level(), 0u);
    EXPECT_EQ(read(1), INTP_BUSY | FIFO_READY); // the last one runs
    wait(period);
    EXPECT_EQ(read(1), FIFO_READY);
    EXPECT_EQ(motion->position(), (Point{40, 0}));
    EXPECT_EQ(counters().segments, 4u);
}

TEST_F(MotionModuleTest, ASenderThatWaitsForReadyLosesNothing)
{
    // Like the library: two ready polls per byte, each request 1 us.
    motion->set_fifo_depth(200);
    int64_t polls_not_ready = 0;
    Point sent{};
    for (int i = 0; i < 40; ++i) {
        const int dx = 50 + i, dy = -i;
        sent = {sent.x + dx, sent.y + dy};
        for (uint8_t b : frame(16, segment_params(dx, dy), next_seq())) {
            for (int poll = 0; poll < 2; ++poll) {
                while (!(read(1) & FIFO_READY)) {
                    ++polls_not_ready;
                    wait(1);
                }
                wait(1);
            }
            write(1, b);
            wait(1);
        }
    }
    EXPECT_GT(polls_not_ready, 0); // the sender was faster than the module
    EXPECT_EQ(counters().overflows, 0u);
    wait(40 * period);
    EXPECT_EQ(motion->position(), sent);
    EXPECT_EQ(counters().segments, 40u);
    EXPECT_EQ(counters().rejected, 0u);
}

struct MoveCase {
    const char *what;
    uint8_t code;
    Params params;
    uint8_t status; // register 1 while it runs
    uint8_t moving; // register 2 while it runs
    int periods;
    Point delta;
};

TEST_F(MotionModuleTest, MovesKeepTheModuleBusyForTheirTravel)
{
    const MoveCase cases[] = {
        {"pulse move X +1000",
         4,
         pulse_params(0x01, 1000),
         BUSY | FIFO_READY,
         X_MOVING,
         1,
         {1000, 0}},
        {"pulse move Y -5000",
         5,
         pulse_params(0x12, 5000),
         BUSY | FIFO_READY,
         Y_MOVING,
         3,
         {0, -5000}},
        {"pulse move X 2047",
         4,
         pulse_params(0x01, 2047),
         BUSY | FIFO_READY,
         X_MOVING,
         1,
         {2047, 0}},
        {"pulse move X 2048",
         4,
         pulse_params(0x01, 2048),
         BUSY | FIFO_READY,
         X_MOVING,
         2,
         {2048, 0}},
        {"hardware line (4095, -2)",
         17,
         line_params(4095, -2),
         BUSY | FIFO_READY,
         X_MOVING | Y_MOVING,
         3,
         {4095, -2}},
        {"hardware line (-1, 2)",
         17,
         line_params(-1, 2),
         BUSY | FIFO_READY,
         X_MOVING | Y_MOVING,
         1,
         {-1, 2}},
        {"segment (0, 7)", 16, segment_params(0, 7), INTP_BUSY | FIFO_READY, Y_MOVING, 1, {0, 7}},
    };
    for (const MoveCase &c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        command(c.code, c.params);
        EXPECT_EQ(read(1), c.status);
        EXPECT_EQ(read(2), c.moving);
        wait(c.periods * period - 1);
        EXPECT_EQ(read(1), c.status);
        EXPECT_EQ(read(2), c.moving);
        wait(1);
        EXPECT_EQ(read(1), FIFO_READY);
        EXPECT_EQ(read(2), 0);
        EXPECT_EQ(motion->position(), c.delta);
        EXPECT_EQ(motion->path(), (std::vector<Point>{{0, 0}, c.delta}));
    }
}

TEST_F(MotionModuleTest, PulseMoveOfNoPulsesTakesNoTime)
{
    command(4, pulse_params(0x11, 0));
    EXPECT_EQ(read(1), FIFO_READY);
    EXPECT_EQ(read(2), 0);
    EXPECT_EQ(motion->position(), (Point{0, 0}));
}

TEST_F(MotionModuleTest, HomingTakesTheAxisBackToZero)
{
    for (uint8_t code : {1, 2, 3}) {
        SCOPED_TRACE(code);
        fresh();
        command(4, pulse_params(0x01, 3000)); // X to 3000
        command(4, pulse_params(0x12, 100));  // Y to -100
        wait(3 * period);
        ASSERT_EQ(motion->position(), (Point{3000, -100}));
        command(code, {0x11}); // home X (the direction bit does not matter)
        EXPECT_EQ(read(1), BUSY | FIFO_READY);
        EXPECT_EQ(read(2), X_MOVING);
        wait(2 * period); // 3000 pulses: two periods
        EXPECT_EQ(read(1), FIFO_READY);
        EXPECT_EQ(motion->position(), (Point{0, -100}));
        command(code, {0x02}); // and Y
        wait(period);
        EXPECT_EQ(motion->position(), (Point{0, 0}));
    }
    // An axis already at zero still runs its homing for one period.
    command(1, {0x01});
    EXPECT_EQ(read(1), BUSY | FIFO_READY);
    EXPECT_EQ(read(2), 0);
    wait(period);
    EXPECT_EQ(read(1), FIFO_READY);
}

struct JogCase {
    const char *what;
    uint8_t code;
    Params params;
    int64_t per_ms; // signed: pulses per millisecond
    uint8_t moving;
};

TEST_F(MotionModuleTest, ContinuousMovesRunUntilStopped)
{
    const JogCase cases[] = {
        {"low speed X", 6, {0x01}, 10, X_MOVING},
        {"high speed Y negative", 7, {0x12}, -100, Y_MOVING},
        {"speed 200 Y negative", 8, {0x12, 0x00, 0xc8}, -200, Y_MOVING},
        {"speed 0 is the low speed", 8, {0x01}, 10, X_MOVING},
    };
    for (const JogCase &c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        command(c.code, c.params);
        EXPECT_EQ(read(1), FIFO_READY); // no BUSY: the FIFO is free for a stop
        EXPECT_EQ(read(2), c.moving);
        wait(5000);
        const Point expected =
            c.moving == X_MOVING ? Point{5 * c.per_ms, 0} : Point{0, 5 * c.per_ms};
        EXPECT_EQ(motion->position(), expected);
        command(49, {static_cast<uint8_t>(c.moving == X_MOVING ? 1 : 2)}); // stop that axis
        EXPECT_EQ(read(2), 0);
        wait(5000);
        EXPECT_EQ(motion->position(), expected);
        EXPECT_EQ(motion->path().back(), expected);
    }
}

TEST_F(MotionModuleTest, SlowDownAndSlowStop)
{
    command(7, {0x01}); // X at the high speed, 100 per ms
    wait(2000);
    command(9, {0x01}); // slow down to the low speed, 10 per ms
    EXPECT_EQ(read(2), X_MOVING);
    wait(3000);
    EXPECT_EQ(motion->position(), (Point{230, 0}));
    command(10, {0x01}); // slow stop
    EXPECT_EQ(read(2), 0);
    wait(3000);
    EXPECT_EQ(motion->position(), (Point{230, 0}));
}

TEST_F(MotionModuleTest, StopAllAbandonsTheRunningSegmentAndDropsQueuedOnes)
{
    for (int i = 0; i < 4; ++i)
        segment(1000, 0);
    wait(period / 4);
    EXPECT_EQ(motion->fifo_level(), 3u * 28u);
    command(50); // no preamble: the stop is seen at the FIFO's input
    EXPECT_EQ(read(1), FIFO_READY);
    EXPECT_EQ(read(2), 0);
    EXPECT_EQ(motion->fifo_level(), 0u);
    EXPECT_EQ(motion->position(), (Point{250, 0})); // a quarter of the first segment
    EXPECT_EQ(counters().dropped, 3u * 28u);
    EXPECT_EQ(counters().segments, 0u);
    wait(10 * period);
    EXPECT_EQ(motion->position(), (Point{250, 0}));
    segment(5, 5); // the module goes on with what comes next
    wait(period);
    EXPECT_EQ(motion->position(), (Point{255, 5}));
    EXPECT_EQ(counters().rejected, 0u);
}

TEST_F(MotionModuleTest, StopAllStopsALongMoveAndContinuousMovesAtOnce)
{
    command(8, {0x02, 0x00, 0x0a}); // Y continuous, 10 per ms
    command(4, pulse_params(0x01, 1'000'000));
    wait(100 * period);
    EXPECT_EQ(read(1), BUSY | FIFO_READY);
    EXPECT_EQ(read(2), X_MOVING | Y_MOVING);
    stop_preamble();
    command(50);
    EXPECT_EQ(read(1), FIFO_READY);
    EXPECT_EQ(read(2), 0);
    // 1000000 pulses take 489 periods; 100 of them have run.
    const Point stopped{1'000'000 * 100 / 489, 1000};
    EXPECT_EQ(motion->position(), stopped);
    EXPECT_EQ(motion->path().back(), stopped);
    EXPECT_EQ(counters().dropped, 15u); // the preamble's zeros, unexecuted
    wait(1000 * period);
    EXPECT_EQ(motion->position(), stopped);
}

TEST_F(MotionModuleTest, SettingsAreStoredAndResetSystemPutsTheDefaultsBack)
{
    command(32, {20, 5, 0x01, 0x02, 0x07, 0xff});
    command(33, {0x03});
    command(34, {0x02});
    command(35, {0x01});
    command(37, {0xa5});
    MotionSettings expected;
    expected.first_setting = 20;
    expected.acc_step = 5;
    expected.low_speed = 0x0102;
    expected.high_speed = 0x07ff;
    expected.default_dir = 3;
    expected.mode = 2;
    expected.servo_on = 1;
    expected.nc = 0xa5;
    EXPECT_EQ(motion->settings(), expected);
    EXPECT_EQ(read(1), FIFO_READY); // settings take no time

    command(6, {0x01}); // the low speed now is 0x0102 pulses per ms
    wait(1000);
    EXPECT_EQ(motion->position(), (Point{0x0102, 0}));

    // What the reset call sends: preamble, stop all, reset system.
    stop_preamble();
    command(50);
    command(48);
    EXPECT_EQ(motion->settings(), MotionSettings{});
    EXPECT_EQ(motion->position(), (Point{0x0102, 0}));
    EXPECT_EQ(read(2), 0);
}

TEST_F(MotionModuleTest, UnknownCodesAreCountedReportedAndIgnored)
{
    command(36);
    command(0x7f, {1, 2, 3});
    command(0xff);
    EXPECT_EQ(counters().unknown, 3u);
    EXPECT_EQ(counters().accepted, 3u);
    EXPECT_EQ(counters().rejected, 0u);
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "slot 4: unknown command code 0x24 (frame 1) ignored",
                         "slot 4: unknown command code 0x7f (frame 2) ignored",
                         "slot 4: unknown command code 0xff (frame 3) ignored",
                     }));
    EXPECT_EQ(motion->position(), (Point{0, 0}));
    EXPECT_EQ(motion->settings(), MotionSettings{});
}

TEST_F(MotionModuleTest, SequenceNumbersRunFrom1To80AndAgain)
{
    for (int i = 0; i < 200; ++i)
        command(0); // the FIFO reset frame does nothing
    EXPECT_EQ(counters().accepted, 200u);
    EXPECT_EQ(counters().rejected, 0u);
}

TEST_F(MotionModuleTest, NeverReadyHidesFifoReadyButTakesTheBytes)
{
    motion->set_never_ready(true);
    EXPECT_EQ(read(1), 0);
    segment(3, 4);
    EXPECT_EQ(read(1), INTP_BUSY);
    wait(period);
    EXPECT_EQ(read(1), 0);
    EXPECT_EQ(motion->position(), (Point{3, 4}));
}

TEST_F(MotionModuleTest, FifoResetEmptiesTheFifoButTheRunningMoveGoesOn)
{
    command(4, pulse_params(0x01, 4094)); // two periods
    segment(1, 1);
    segment(1, 1);
    EXPECT_EQ(read(1), BUSY | INTP_BUSY | FIFO_READY); // segments wait in the FIFO
    reset_fifo();
    EXPECT_EQ(motion->fifo_level(), 0u);
    EXPECT_EQ(counters().dropped, 56u);
    EXPECT_EQ(read(1), BUSY | FIFO_READY);
    wait(2 * period);
    EXPECT_EQ(read(1), FIFO_READY);
    EXPECT_EQ(motion->position(), (Point{4094, 0}));
    EXPECT_EQ(counters().segments, 0u);
}

TEST_F(MotionModuleTest, FifoResetDropsAPartialFrame)
{
    const Bytes f = frame(16, segment_params(9, 9), next_seq());
    send(Bytes(f.begin(), f.begin() + 20));
    reset_fifo();
    segment(1, 0);
    wait(period);
    EXPECT_EQ(motion->position(), (Point{1, 0}));
    EXPECT_EQ(counters().rejected, 0u);
    EXPECT_EQ(counters().dropped, 20u);
}

TEST_F(MotionModuleTest, OverflowIsCountedForEveryByteAndReportedOncePerRun)
{
    motion->set_fifo_depth(14);
    command(4, pulse_params(0x01, 5000)); // busy for three periods
    send(Bytes(20, 0x33));
    EXPECT_EQ(counters().overflows, 6u);
    EXPECT_EQ(notes, std::vector<std::string>{"slot 4: FIFO full (14 bytes): byte 0x33 lost"});
    EXPECT_EQ(read(1), BUSY);
    wait(3 * period);
    EXPECT_EQ(read(1), FIFO_READY); // the junk was skipped
    EXPECT_EQ(counters().discarded, 14u);
}

TEST_F(MotionModuleTest, NoSegmentTimeExecutesAtOnce)
{
    motion->set_segment_time_us(0);
    for (int i = 0; i < 10; ++i)
        segment(7, -3);
    command(4, pulse_params(0x02, 100000));
    EXPECT_EQ(read(1), FIFO_READY);
    EXPECT_EQ(motion->position(), (Point{70, 100000 - 30}));
    EXPECT_EQ(counters().segments, 10u);
}

TEST_F(MotionModuleTest, LongPathIsThinnedKeepingItsEnds)
{
    motion->set_segment_time_us(0);
    motion->set_path_limit(8);
    for (int i = 0; i < 50; ++i)
        segment(1, 0);
    const std::vector<Point> path = motion->path();
    EXPECT_LE(path.size(), 8u);
    EXPECT_GE(path.size(), 4u);
    EXPECT_EQ(path.front(), (Point{0, 0}));
    EXPECT_EQ(path.back(), (Point{50, 0}));
    for (size_t i = 1; i < path.size(); ++i)
        EXPECT_GT(path[i].x, path[i - 1].x);
}

// The points of the SVG's polyline.
std::vector<std::pair<double, double>> polyline(const std::string &svg)
{
    std::vector<std::pair<double, double>> out;
    const size_t at = svg.find("points=\"");
    if (at == std::string::npos)
        return out;
    std::istringstream in(svg.substr(at + 8, svg.find('"', at + 8) - at - 8));
    double x = 0, y = 0;
    char comma = 0;
    while (in >> x >> comma >> y)
        out.emplace_back(x, y);
    return out;
}

// The centre of the circle of a class ("start", "end").
std::pair<double, double> marker(const std::string &svg, const std::string &cls)
{
    const size_t at = svg.find("class=\"" + cls + "\"");
    double x = -1, y = -1;
    if (at != std::string::npos)
        std::sscanf(svg.c_str() + at, ("class=\"" + cls + "\" cx=\"%lf\" cy=\"%lf\"").c_str(), &x,
                    &y);
    return {x, y};
}

TEST(PathSvg, DrawsThePathScaledWithYUpAndItsEndsMarked)
{
    const std::string svg = pacsim::path_svg({{0, 0}, {1000, 0}, {1000, -300}, {400, -300}}, 62);
    EXPECT_TRUE(svg.starts_with("<?xml")) << svg;
    EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
    EXPECT_TRUE(svg.ends_with("</svg>\n"));
    const auto pts = polyline(svg);
    ASSERT_EQ(pts.size(), 4u);
    EXPECT_LT(pts[0].first, pts[1].first);               // X grows to the right
    EXPECT_DOUBLE_EQ(pts[0].second, pts[1].second);      // a horizontal stretch
    EXPECT_GT(pts[2].second, pts[1].second);             // Y down on paper
    EXPECT_DOUBLE_EQ(pts[1].first, pts[2].first);        // a vertical stretch
    const double width = pts[1].first - pts[0].first;    // 1000 pulses
    const double height = pts[2].second - pts[1].second; // 300 pulses
    EXPECT_NEAR(width / height, 1000.0 / 300.0, 0.01);   // one scale for both axes
    for (const auto &[x, y] : pts) {
        EXPECT_GE(x, 24.0); // inside the margin
        EXPECT_LE(x, 480.0 - 24.0);
        EXPECT_GE(y, 24.0);
        EXPECT_LE(y, 480.0 - 24.0);
    }
    EXPECT_EQ(marker(svg, "start"), pts.front());
    EXPECT_EQ(marker(svg, "end"), pts.back());
    EXPECT_NE(svg.find(">end position (400, -300) after 62 segments</text>"), std::string::npos);
}

TEST(PathSvg, SinglePointAndEmptyPathStillMakeAPicture)
{
    for (const std::vector<Point> &path : {std::vector<Point>{}, std::vector<Point>{{5, -5}}}) {
        const std::string svg = pacsim::path_svg(path, 0);
        const auto pts = polyline(svg);
        ASSERT_EQ(pts.size(), 1u);
        EXPECT_EQ(marker(svg, "start"), pts.front());
        EXPECT_TRUE(svg.ends_with("</svg>\n"));
    }
    EXPECT_EQ(pacsim::path_caption({-1, 2}, 1), "end position (-1, 2) after 1 segment");
}

TEST_F(MotionModuleTest, SvgOfTheModuleEndsWhereTheAxesAreNow)
{
    segment(100, 50);
    wait(period);
    command(6, {0x11}); // X continuous, negative, 10 per ms
    wait(3000);
    const std::string svg = motion->svg();
    EXPECT_EQ(polyline(svg).size(), 3u);
    EXPECT_NE(svg.find("end position (70, 50) after 1 segment<"), std::string::npos) << svg;
}

} // namespace
