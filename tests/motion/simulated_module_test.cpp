// Paths pumped into the simulated motion module, whose small FIFO fills and
// drains many times: the module must end at the target having rejected no
// frame and lost no byte.
#include "sim/model/motion_module.h"
#include "support/sim_fixture.h"

#include "motion/motion_state.h"

using namespace slotio_test;

namespace {

constexpr unsigned char card_no = 3;

class SimulatedMotionModule : public SimTest {
  protected:
    pacsim::MotionModule *module = nullptr;

    void SetUp() override
    {
        SimTest::SetUp();
        slotio::motion::reset_state();
        auto m = std::make_unique<pacsim::MotionModule>();
        m->set_fifo_depth(3 * 28);   // three frames
        m->set_segment_time_us(400); // longer than a frame takes to write
        module = m.get();
        controller.install(card_no, std::move(m));
        start();
        sim().tracing = false;
        ASSERT_EQ(Open_Slot(card_no), 0);
        ASSERT_EQ(I4053_REGISTRATION(card_no, 0), 1);
        I4053_reset_fifo(card_no);
    }
    void TearDown() override
    {
        slotio::motion::reset_state();
        SimTest::TearDown();
    }
    // Pumps to the end; the passes that stopped at a full FIFO.
    int pump()
    {
        int passes = 0;
        while (I4053_INTP_STOP())
            ++passes;
        return passes;
    }
    void wait_idle()
    {
        while (I4053_LIMIT_X(card_no) & slotio::INTP_BUSY)
            sim().clock.advance(100);
    }
};

TEST_F(SimulatedMotionModule, PathsEndAtTheirTargetsThroughAFillingFifo)
{
    struct Step {
        const char *name;
        void (*start)();
        pacsim::Point end;
    };
    const Step steps[] = {
        {"line", [] { I4053_INTP_LINE02(card_no, 4000, 1500, 200, 0); }, {4000, 1500}},
        {"circle", [] { I4053_INTP_CIRCLE02(card_no, 0, -1200, 1, 200, 0); }, {4000, 1500}},
        {"arc", [] { I4053_INTP_ARC02(card_no, -2000, 1000, 1500, 0, 200, 0); }, {2000, 2500}},
        {"longer arc", [] { I4053_INTP_ARC02(card_no, 300, -300, -400, 1, 150, 1); }, {2300, 2200}},
        {"line back", [] { I4053_INTP_LINE02(card_no, -2300, -2200, 2040, 0); }, {0, 0}},
    };
    for (const Step &s : steps) {
        const uint64_t segments_before = module->counters().segments;
        s.start();
        const int full_passes = pump();
        wait_idle();
        EXPECT_GT(full_passes, 5) << s.name; // the FIFO filled again and again
        EXPECT_EQ(module->position(), s.end) << s.name;
        EXPECT_GT(module->counters().segments, segments_before) << s.name;
    }
    const pacsim::MotionCounters c = module->counters();
    EXPECT_EQ(c.rejected, 0u);
    EXPECT_EQ(c.overflows, 0u);
    EXPECT_EQ(c.discarded, 0u);
    EXPECT_EQ(slotio::motion::fifo_timeouts, 0u);
    EXPECT_GT(sim().slept_us, 0); // frames that found the FIFO full paused
}

TEST_F(SimulatedMotionModule, EmergencyStopClearsTheQueueAndEndsThePath)
{
    I4053_INTP_LINE02(card_no, 100000, 0, 500, 0);
    I4053_INTP_STOP();
    I4053_INTP_STOP();
    I4053_EMG_STOP(card_no);
    EXPECT_EQ(I4053_INTP_STOP(), 0);
    wait_idle();
    const pacsim::Point stopped = module->position();
    EXPECT_GT(stopped.x, 0);
    EXPECT_LT(stopped.x, 100000);
    EXPECT_EQ(module->fifo_level(), 0u);
    EXPECT_EQ(module->counters().rejected, 0u);
    sim().clock.advance(1'000'000);
    EXPECT_EQ(module->position(), stopped); // nothing left to run
}

TEST_F(SimulatedMotionModule, ModuleThatNeverMakesRoomEndsThePathCleanly)
{
    module->set_never_ready(true);
    I4053_INTP_LINE02(card_no, 5000, 0, 100, 0);
    EXPECT_EQ(I4053_INTP_STOP(), 0);
    EXPECT_EQ(slotio::motion::fifo_timeouts, 1u);
    EXPECT_EQ(slotio::sys.kind, 0);
}

} // namespace
