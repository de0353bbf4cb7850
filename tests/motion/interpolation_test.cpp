// The software interpolation engine: exact segment sequences of lines,
// circles and arcs, geometric properties over many paths, and the pumping
// of a path through a FIFO that fills.
#include "motion/motion_fixture.h"

#include <cmath>

using namespace slotio_test;
using slotio::sys;

namespace {

using Segments = std::vector<std::pair<int, int>>;

std::pair<long, long> sum(const Segments &s)
{
    long x = 0, y = 0;
    for (const auto &[a, b] : s) {
        x += a;
        y += b;
    }
    return {x, y};
}

Segments first(const Segments &s, size_t n)
{
    return Segments(s.begin(), s.begin() + std::min(n, s.size()));
}

class Interpolation : public MotionTest {
  protected:
    void SetUp() override
    {
        MotionTest::SetUp();
        registered();
    }
    Segments line(long x, long y, unsigned speed, unsigned char cs = 0)
    {
        module->fifo.clear();
        I4053_INTP_LINE02(card_no, x, y, speed, cs);
        EXPECT_TRUE(module->fifo.empty()) << "set-up sends nothing";
        pump();
        return module->segments();
    }
    Segments circle(long x, long y, unsigned char dir, unsigned speed, unsigned char cs = 0)
    {
        module->fifo.clear();
        I4053_INTP_CIRCLE02(card_no, x, y, dir, speed, cs);
        EXPECT_TRUE(module->fifo.empty()) << "set-up sends nothing";
        pump();
        return module->segments();
    }
    Segments arc(long x, long y, long r, unsigned char dir, unsigned speed, unsigned char cs = 0)
    {
        module->fifo.clear();
        I4053_INTP_ARC02(card_no, x, y, r, dir, speed, cs);
        EXPECT_TRUE(module->fifo.empty()) << "set-up sends nothing";
        pump();
        return module->segments();
    }
};

TEST_F(Interpolation, ShortLinesRunAtTheLowSpeed)
{
    EXPECT_EQ(line(25, 0, 100), (Segments{{10, 0}, {10, 0}, {5, 0}}));
    // A remainder equal to the low speed ends the profile one segment late.
    EXPECT_EQ(line(30, 0, 100), (Segments{{10, 0}, {10, 0}, {10, 0}, {0, 0}}));
}

TEST_F(Interpolation, TrapezoidalProfile)
{
    EXPECT_EQ(line(40, 0, 100), (Segments{{1, 0},
                                          {2, 0},
                                          {3, 0},
                                          {4, 0},
                                          {5, 0},
                                          {6, 0},
                                          {6, 0},
                                          {5, 0},
                                          {4, 0},
                                          {2, 0},
                                          {1, 0},
                                          {1, 0}}));
}

TEST_F(Interpolation, SlantedLineCarriesTheShortAxisRemainder)
{
    const Segments s = line(1000, -300, 100);
    EXPECT_EQ(slotio::High_Speed, 95u);
    EXPECT_EQ(first(s, 6), (Segments{{1, 0}, {2, 0}, {3, -1}, {4, -2}, {5, -1}, {6, -2}}));
    EXPECT_EQ(s.size(), 62u);
    EXPECT_EQ(sum(s), std::make_pair(1000l, -300l));
}

TEST_F(Interpolation, ConstantSegments)
{
    EXPECT_EQ(line(1000, 0, 300, 1), (Segments{{300, 0}, {300, 0}, {300, 0}, {100, 0}}));
}

TEST_F(Interpolation, TopSpeedIsConvertedToTheLongAxis)
{
    I4053_SET_VAR(card_no, 10, 1, 1, 100);
    EXPECT_EQ(line(3, 4, 2040), (Segments{{0, 1}, {2, 2}, {1, 1}}));
    EXPECT_EQ(slotio::High_Speed, 1632u);
}

TEST_F(Interpolation, LargeAccelerationStepGivesOneSegment)
{
    I4053_SET_VAR(card_no, 10, 100, 10, 2047);
    EXPECT_EQ(line(60, 0, 2000), (Segments{{60, 0}}));
    EXPECT_EQ(line(100, 0, 2000), (Segments{{100, 0}}));
}

struct Refused {
    const char *name;
    void (*start)();
};

TEST_F(Interpolation, PathsThatCannotRunAreRefusedAtSetUp)
{
    constexpr unsigned char c = card_no;
    const Refused cases[] = {
        {"line to (0, 0)", [] { I4053_INTP_LINE02(c, 0, 0, 100, 0); }},
        {"speed 0", [] { I4053_INTP_LINE02(c, 100, 50, 0, 0); }},
        {"speed 1 on a slanted line", [] { I4053_INTP_LINE02(c, 100, 50, 1, 0); }},
        {"constant speed 0", [] { I4053_INTP_LINE02(c, 100, 0, 0, 1); }},
        {"circle around (0, 0)", [] { I4053_INTP_CIRCLE02(c, 0, 0, 1, 100, 0); }},
        {"circle at speed 0", [] { I4053_INTP_CIRCLE02(c, 100, 0, 1, 0, 0); }},
        {"arc r 0", [] { I4053_INTP_ARC02(c, 100, 0, 0, 0, 100, 0); }},
        {"arc chord too long", [] { I4053_INTP_ARC02(c, 1000, 1000, 700, 0, 100, 0); }},
        {"arc dir 2", [] { I4053_INTP_ARC02(c, 100, 0, 100, 2, 100, 0); }},
        {"arc constant speed 0", [] { I4053_INTP_ARC02(c, 100, 0, 100, 1, 0, 1); }},
    };
    for (const Refused &r : cases) {
        module->fifo.clear();
        r.start();
        EXPECT_EQ(sys.kind, 0) << r.name;
        EXPECT_EQ(I4053_INTP_STOP(), 0) << r.name;
        EXPECT_TRUE(module->fifo.empty()) << r.name;
    }
}

TEST_F(Interpolation, SpeedOneIsEnoughOnAnAxis)
{
    const Segments s = line(0, -15, 1, 0);
    EXPECT_EQ(sum(s), std::make_pair(0l, -15l));
}

TEST_F(Interpolation, CardNeverRegisteredHasNoProfile)
{
    // An unregistered card's record is all zero: no acceleration step.
    constexpr unsigned char other = 5;
    controller.install(other, std::make_unique<RecordingMotionModule>());
    ASSERT_EQ(Open_Slot(other), 0);
    I4053_INTP_LINE02(other, 100, 0, 100, 0);
    EXPECT_EQ(sys.kind, 0);
    // Constant segments need no profile settings.
    I4053_INTP_LINE02(other, 100, 0, 60, 1);
    EXPECT_EQ(sys.kind, 2);
}

TEST_F(Interpolation, ConstantSpeedAboveTheSegmentLimitLosesNothing)
{
    const Segments s = line(10000, -7000, 5000, 1);
    for (const auto &[a, b] : s) {
        EXPECT_LE(std::abs(a), 2047);
        EXPECT_LE(std::abs(b), 2047);
    }
    EXPECT_EQ(s.front(), std::make_pair(2047, -1432));
    EXPECT_EQ(sum(s), std::make_pair(10000l, -7000l));
    const Segments c = circle(3000, 0, 1, 4000, 1);
    EXPECT_EQ(sum(c), std::make_pair(0l, 0l));
    for (const auto &[a, b] : c) {
        EXPECT_LE(std::abs(a), 2047);
        EXPECT_LE(std::abs(b), 2047);
    }
}

TEST_F(Interpolation, CircleAroundAPointOnTheXAxis)
{
    const Segments ccw = circle(500, 0, 1, 100);
    EXPECT_EQ(slotio::radius, 500.0);
    EXPECT_EQ(slotio::total_pulse, 3141u);
    EXPECT_EQ(ccw.size(), 111u);
    EXPECT_EQ(first(ccw, 4), (Segments{{0, 0}, {0, -2}, {0, -3}, {0, -4}}));
    EXPECT_EQ(sum(ccw), std::make_pair(0l, 0l));
    const Segments cw = circle(500, 0, 0, 100);
    EXPECT_EQ(first(cw, 4), (Segments{{0, 0}, {0, 2}, {0, 3}, {0, 4}}));
    EXPECT_EQ(sum(cw), std::make_pair(0l, 0l));
}

TEST_F(Interpolation, CircleAroundAPointOnTheYAxis)
{
    I4053_INTP_CIRCLE02(card_no, 0, 100, 1, 100, 0);
    EXPECT_EQ(slotio::theta, -1.570796327);
    EXPECT_EQ(slotio::total_pulse, 628u);
    pump();
    EXPECT_EQ(sum(module->segments()), std::make_pair(0l, 0l));
}

TEST_F(Interpolation, CircleAtConstantSpeed)
{
    const Segments s = circle(100, 0, 1, 50, 1);
    EXPECT_EQ(s.size(), 13u);
    EXPECT_EQ(first(s, 3), (Segments{{12, -47}, {33, -37}, {47, -15}}));
    EXPECT_EQ(sum(s), std::make_pair(0l, 0l));
}

TEST_F(Interpolation, QuarterArcs)
{
    const Segments cw = arc(1000, 1000, 1000, 0, 100);
    EXPECT_NEAR(slotio::xc, 1000, 1e-6);
    EXPECT_NEAR(slotio::yc, 0, 1e-6);
    EXPECT_EQ(slotio::total_pulse, 1570u);
    EXPECT_EQ(cw.size(), 77u);
    EXPECT_EQ(first(cw, 3), (Segments{{0, 0}, {0, 2}, {0, 3}}));
    EXPECT_EQ(sum(cw), std::make_pair(1000l, 1000l));

    const Segments ccw = arc(1000, 1000, 1000, 1, 100);
    EXPECT_NEAR(slotio::xc, 0, 1e-6);
    EXPECT_NEAR(slotio::yc, 1000, 1e-6);
    EXPECT_EQ(first(ccw, 3), (Segments{{0, 0}, {2, 0}, {3, 0}}));
    EXPECT_EQ(sum(ccw), std::make_pair(1000l, 1000l));
}

TEST_F(Interpolation, LongerArcWithNegativeRadius)
{
    const Segments s = arc(1000, 1000, -1000, 0, 100);
    EXPECT_NEAR(slotio::xc, 0, 1e-6);
    EXPECT_NEAR(slotio::yc, 1000, 1e-6);
    EXPECT_EQ(slotio::total_pulse, 4712u);
    EXPECT_EQ(s.size(), 134u);
    EXPECT_EQ(sum(s), std::make_pair(1000l, 1000l));
}

TEST_F(Interpolation, HalfTurnAndDegenerateArcs)
{
    const Segments half = arc(200, 0, 100, 0, 100);
    EXPECT_NEAR(slotio::xc, 100, 1e-6);
    EXPECT_NEAR(slotio::yc, 0, 1e-4);
    EXPECT_EQ(slotio::total_pulse, 314u);
    EXPECT_EQ(sum(half), std::make_pair(200l, 0l));

    EXPECT_EQ(arc(0, 0, 100, 0, 100), (Segments{{0, 0}}));
    const Segments full = arc(0, 0, -100, 0, 100);
    EXPECT_EQ(slotio::total_pulse, 628u);
    EXPECT_EQ(sum(full), std::make_pair(0l, 0l));
    EXPECT_GT(full.size(), 10u);
}

// ---- Geometry over many paths ---------------------------------------------

void expect_bounded(const Segments &s, const std::string &what)
{
    for (const auto &[a, b] : s) {
        ASSERT_LE(std::abs(a), 2047) << what;
        ASSERT_LE(std::abs(b), 2047) << what;
    }
}

TEST_F(Interpolation, LinesInEveryDirectionLandExactlyAndHugTheLine)
{
    sim().tracing = false;
    const long ends[][2] = {
        {1000, 0},  {1000, 300},   {300, 1000},    {0, 1000},  {-300, 1000}, {-1000, 300},
        {-1000, 0}, {-1000, -300}, {-300, -1000},  {0, -1000}, {300, -1000}, {1000, -300},
        {777, 777}, {1, 5000},     {12345, -6789}, {-2, 1},    {5000, 4999}};
    for (unsigned char cs : {0, 1}) {
        for (unsigned speed : {3u, 100u, 2040u, 3000u}) {
            for (const auto &e : ends) {
                const std::string what = "to (" + std::to_string(e[0]) + ", " +
                                         std::to_string(e[1]) + ") speed " + std::to_string(speed) +
                                         " const " + std::to_string(cs);
                const Segments s = line(e[0], e[1], speed, cs);
                expect_bounded(s, what);
                ASSERT_EQ(sum(s), std::make_pair(e[0], e[1])) << what;
                // Every point reached lies within one pulse of the ideal line
                // on the short axis, measured at the same long-axis point.
                const bool x_long = std::labs(e[0]) > std::labs(e[1]);
                long px = 0, py = 0;
                for (const auto &[a, b] : s) {
                    px += a;
                    py += b;
                    const double err = x_long ? py - static_cast<double>(px) * e[1] / e[0]
                                              : px - static_cast<double>(py) * e[0] / e[1];
                    ASSERT_LT(std::fabs(err), 1.0) << what;
                }
            }
        }
    }
}

// Reached points stay within one pulse per axis of the circle around (cx, cy).
void expect_on_circle(const Segments &s, double cx, double cy, double r, const std::string &what)
{
    long px = 0, py = 0;
    for (const auto &[a, b] : s) {
        px += a;
        py += b;
        const double dist = std::hypot(px - cx, py - cy);
        ASSERT_LT(std::fabs(dist - r), std::sqrt(2.0) + 1e-9) << what;
    }
}

TEST_F(Interpolation, CirclesCloseExactlyAndStayOnTheCircle)
{
    sim().tracing = false;
    const long centres[][2] = {{500, 0}, {0, 100}, {-300, 400}, {70, -70}, {3, 4}, {-2500, -10}};
    for (unsigned char cs : {0, 1}) {
        for (unsigned char dir : {0, 1}) {
            for (unsigned speed : {5u, 100u, 2040u}) {
                for (const auto &c : centres) {
                    const std::string what = "around (" + std::to_string(c[0]) + ", " +
                                             std::to_string(c[1]) + ") dir " + std::to_string(dir) +
                                             " speed " + std::to_string(speed) + " const " +
                                             std::to_string(cs);
                    const Segments s = circle(c[0], c[1], dir, speed, cs);
                    expect_bounded(s, what);
                    ASSERT_EQ(sum(s), std::make_pair(0l, 0l)) << what;
                    expect_on_circle(s, c[0], c[1], std::hypot(c[0], c[1]), what);
                    // The direction of travel: the angle turns the asked way, once.
                    double turned = 0;
                    long px = 0, py = 0;
                    for (const auto &[a, b] : s) {
                        const double before = std::atan2(py - c[1], px - c[0]);
                        px += a;
                        py += b;
                        turned +=
                            std::remainder(std::atan2(py - c[1], px - c[0]) - before, 2 * M_PI);
                    }
                    // (A circle that one segment covers whole turns by nothing.)
                    if (s.size() >= 8) {
                        EXPECT_NEAR(turned, dir ? 2 * M_PI : -2 * M_PI, 0.05) << what;
                    }
                }
            }
        }
    }
}

TEST_F(Interpolation, ArcsEndExactlyOnTheirCircle)
{
    sim().tracing = false;
    const long ends[][2] = {{1000, 1000}, {200, 0}, {-500, 300}, {0, -800}, {-100, -100}, {1, 0}};
    for (long rsign : {1, -1}) {
        for (unsigned char dir : {0, 1}) {
            for (unsigned char cs : {0, 1}) {
                for (const auto &e : ends) {
                    const double chord = std::hypot(e[0], e[1]);
                    const long r = rsign * static_cast<long>(std::ceil(chord / 2 + 0.5) + 50);
                    const std::string what = "to (" + std::to_string(e[0]) + ", " +
                                             std::to_string(e[1]) + ") r " + std::to_string(r) +
                                             " dir " + std::to_string(dir) + " const " +
                                             std::to_string(cs);
                    const Segments s = arc(e[0], e[1], r, dir, 100, cs);
                    expect_bounded(s, what);
                    ASSERT_EQ(sum(s), std::make_pair(e[0], e[1])) << what;
                    // The centre, found independently: beside the chord's
                    // midpoint, right of it for a clockwise shorter arc or a
                    // counter-clockwise longer one.
                    const double rad = std::labs(r), h = std::sqrt(rad * rad - chord * chord / 4);
                    const double ux = e[0] / chord, uy = e[1] / chord;
                    const bool right = (r > 0) == (dir == 0);
                    const double side = right ? 1 : -1;
                    const double cx = e[0] / 2.0 + side * h * uy, cy = e[1] / 2.0 - side * h * ux;
                    expect_on_circle(s, cx, cy, rad, what);
                    // Shorter arc: less than half a turn of path; longer: more.
                    double length = 0;
                    for (const auto &[a, b] : s)
                        length += std::hypot(a, b);
                    if (r > 0) {
                        EXPECT_LE(length, M_PI * rad + 2 * s.size()) << what;
                    } else {
                        EXPECT_GE(length, M_PI * rad - 2) << what;
                    }
                }
            }
        }
    }
}

// ---- Pumping ---------------------------------------------------------------

TEST_F(Interpolation, FullFifoEndsThePassAfterThatFrame)
{
    // The module shows its FIFO full once after every fifth frame.
    size_t last_full = 0;
    module->status_fn = [&](size_t bytes) -> uint8_t {
        if (bytes > 0 && bytes % (5 * 28) == 0 && bytes != last_full) {
            last_full = bytes;
            return slotio::INTP_BUSY;
        }
        return slotio::FIFO_READY | slotio::INTP_BUSY;
    };
    I4053_INTP_LINE02(card_no, 1000, -300, 100, 0);
    std::vector<size_t> frames_after_pass;
    while (I4053_INTP_STOP())
        frames_after_pass.push_back(module->fifo.size() / 28);
    frames_after_pass.push_back(module->fifo.size() / 28);
    // Each pass sends five frames more, and the sixth frame of a pass waits.
    ASSERT_GE(frames_after_pass.size(), 2u);
    EXPECT_EQ(frames_after_pass[0], 6u);
    EXPECT_EQ(frames_after_pass[1], 11u);
    const Segments s = module->segments();
    EXPECT_EQ(s.size(), 62u);
    EXPECT_EQ(sum(s), std::make_pair(1000l, -300l));
}

TEST_F(Interpolation, StopBetweenPumpsEndsThePath)
{
    module->script = {};
    size_t calls = 0;
    module->status_fn = [&](size_t bytes) -> uint8_t {
        ++calls;
        return (bytes == 28 * 3 && calls % 2) ? slotio::INTP_BUSY
                                              : slotio::FIFO_READY | slotio::INTP_BUSY;
    };
    I4053_INTP_LINE02(card_no, 1000, 0, 100, 0);
    EXPECT_EQ(I4053_INTP_STOP(), 1);
    const size_t sent = module->fifo.size();
    module->status_fn = nullptr;
    I4053_STOP_X(card_no);
    module->fifo.clear();
    sim().clear();
    EXPECT_EQ(I4053_INTP_STOP(), 0);
    EXPECT_TRUE(module->fifo.empty());
    ASSERT_EQ(sim().trace.size(), 1u); // the status read of register 1 only
    EXPECT_EQ(sim().trace[0].sent[6], 1u);
    EXPECT_GT(sent, 0u);
}

TEST_F(Interpolation, ModuleNoLongerInterpolatingDropsThePath)
{
    module->status_fn = [](size_t bytes) -> uint8_t {
        // FIFO full after two frames, and the module reports no interpolation.
        return bytes == 56 ? 0 : slotio::FIFO_READY;
    };
    module->script = {};
    I4053_INTP_LINE02(card_no, 1000, 0, 100, 0);
    sim().tracing = false;
    EXPECT_EQ(I4053_INTP_STOP(), 0);
    EXPECT_EQ(sys.kind, 0);
}

TEST_F(Interpolation, GetCardPumpsOnlyForARegisteredCard)
{
    I4053_INTP_LINE02(card_no, 25, 0, 100, 0);
    I4053_GET_CARD(5); // not registered
    EXPECT_TRUE(module->fifo.empty());
    I4053_GET_CARD(card_no);
    EXPECT_EQ(module->segments(), (Segments{{10, 0}, {10, 0}, {5, 0}}));
    EXPECT_EQ(sys.kind, 0);
}

TEST_F(Interpolation, NewPathReplacesThePendingOne)
{
    I4053_INTP_LINE02(card_no, 1000, 0, 100, 0);
    I4053_INTP_LINE02(card_no, 25, 0, 100, 0);
    pump();
    EXPECT_EQ(module->segments(), (Segments{{10, 0}, {10, 0}, {5, 0}}));
}

TEST_F(Interpolation, AbandonedSegmentFrameDropsThePath)
{
    I4053_INTP_LINE02(card_no, 1000, 0, 100, 0);
    module->status = 0; // never ready again
    sim().tracing = false;
    EXPECT_EQ(intp_state_machine(), 0);
    EXPECT_EQ(sys.kind, 0);
    EXPECT_EQ(slotio::motion::fifo_timeouts, 1u);
}

} // namespace
