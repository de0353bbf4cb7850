// The motion module's command FIFO, registry and axis commands: the bytes
// that reach the module.
#include "motion/motion_fixture.h"
#include "support/motion_frames.h"

using namespace slotio_test;
using slotio::sys;

namespace {

using Bytes = std::vector<uint8_t>;

class Fifo : public MotionTest {};

TEST_F(Fifo, ResetFifoOnAFreshProcess)
{
    I4053_reset_fifo(card_no);
    EXPECT_EQ(module->resets, (Bytes{0, 0}));
    const Bytes expected = {0x00, 0x55, 0xaa, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x01,
                            0x00, 0x55, 0xaa, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0x01};
    EXPECT_EQ(module->fifo, expected);
    // Register 2 first, then every byte after two status reads.
    EXPECT_EQ(sim().trace[0].sent[6], 2u);
    EXPECT_EQ(sim().trace[1].sent[6], 2u);
    EXPECT_EQ(module->status_reads, 56);
    EXPECT_EQ(sim().slept_us, 0);
}

TEST_F(Fifo, SequenceNumbersRunOneToEightyAndWrap)
{
    for (int i = 0; i < 81; ++i)
        output_fifo(card_no, 0x20, 0, 0, 0, 0, 0, 0, 0, 0);
    const std::vector<Frame> frames = module->frames();
    ASSERT_EQ(frames.size(), 81u);
    EXPECT_EQ(frames[0].seq, 1);
    EXPECT_EQ(frames[79].seq, 80);
    EXPECT_EQ(frames[80].seq, 1);
}

TEST_F(Fifo, CheckByteAndItsComplement)
{
    output_fifo(card_no, 0x30, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01);
    EXPECT_EQ(module->fifo, frame_bytes(0x30, {1, 2, 0, 0, 0, 0, 0, 1}, 1));
    EXPECT_EQ(module->fifo[12], 0x32);
    EXPECT_EQ(module->fifo[26], 0xcd);
}

TEST_F(Fifo, AByteThatWaitedMakesTheRestOfTheFramePause)
{
    module->script = {0x00}; // the very first status read: not ready
    output_fifo(card_no, 1, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(slotio::fifo_full, 1);
    EXPECT_EQ(sim().slept_us, 28 * 5); // every byte of both copies
    EXPECT_EQ(module->status_reads, 57);
    module->frames();

    sim().slept_us = 0;
    output_fifo(card_no, 1, 0, 0, 0, 0, 0, 0, 0, 0); // the flag starts clear again
    EXPECT_EQ(slotio::fifo_full, 0);
    EXPECT_EQ(sim().slept_us, 0);
}

TEST_F(Fifo, ReadyWaitOnBothStatusReads)
{
    // Ready, then not ready twice: the byte waits in the second loop.
    module->script = {0x40, 0x00, 0x00, 0x40};
    outportb_fifo(card_no, 0x99);
    EXPECT_EQ(module->status_reads, 4);
    EXPECT_EQ(module->fifo, (Bytes{0x99}));
    EXPECT_EQ(slotio::fifo_full, 1);
}

TEST_F(Fifo, ModuleThatNeverMakesRoomAbandonsTheFrameAfterOneSecond)
{
    module->status = 0;
    sim().tracing = false;
    output_fifo(card_no, 1, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(module->fifo.empty());
    EXPECT_EQ(slotio::motion::fifo_timeouts, 1u);
    EXPECT_GE(module->status_reads, 1'000'000 / 1 - 10); // one virtual microsecond a read
    EXPECT_LE(module->status_reads, 1'000'010);
    // The next frame tries again, and goes out once the module has room.
    module->status = slotio::FIFO_READY;
    output_fifo(card_no, 1, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(module->frames().size(), 1u);
    EXPECT_EQ(module->frames()[0].seq, 2);
}

TEST_F(Fifo, ClosedSlotGivesUpAtOnce)
{
    Close_Slot(card_no);
    output_fifo(card_no, 1, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(sim().trace.size(), 1u); // one refused status read
    EXPECT_EQ(slotio::motion::fifo_timeouts, 1u);
}

TEST_F(Fifo, RegistrationChecksTheModuleAndSetsDefaults)
{
    sys.kind = 2;
    slotio::WorkFlag = 1;
    slotio::state = 2;
    slotio::High_Speed = 5;
    EXPECT_EQ(I4053_REGISTRATION(card_no, 1234), 1);
    const slotio::CardRecord &c = slotio::card[card_no];
    EXPECT_EQ(c.registered, 1);
    EXPECT_EQ(c.user_value, 1234);
    EXPECT_EQ(c.first_setting, 10);
    EXPECT_EQ(c.acc_step, 1);
    EXPECT_EQ(c.low_speed, 10u);
    EXPECT_EQ(c.high_speed, 100u);
    EXPECT_EQ(slotio::High_Speed, 100u);
    EXPECT_EQ(slotio::state, 1);
    EXPECT_EQ(slotio::WorkFlag, 0);
    EXPECT_EQ(sys.kind, 0);
    EXPECT_TRUE(module->fifo.empty());
    EXPECT_EQ(sim().trace.size(), 1u); // the ID read only
}

TEST_F(Fifo, RegistrationRefusesOtherModulesAndCardsOutsideTheTable)
{
    ASSERT_EQ(I4053_REGISTRATION(card_no, 1), 1);
    controller.install(card_no, pacsim::make_module(13)); // an encoder module
    EXPECT_EQ(I4053_REGISTRATION(card_no, 2), 0);
    EXPECT_EQ(slotio::card[card_no].registered, 0);
    EXPECT_EQ(slotio::card[card_no].user_value, 1); // kept

    sim().clear();
    sys.kind = 2;
    for (int c : {20, 21, 255})
        EXPECT_EQ(I4053_REGISTRATION(static_cast<unsigned char>(c), 1), 0);
    EXPECT_TRUE(sim().trace.empty());
    EXPECT_EQ(sys.kind, 2);
}

struct CommandCase {
    const char *name;
    void (*call)();
    int code; // -1: refused, nothing sent
    std::array<uint8_t, 8> p;
};

constexpr unsigned char c4 = 4;

TEST_F(MotionTest, CommandParameterPacking)
{
    const CommandCase cases[] = {
        {"LSP_ORG dir 3 axis 6", [] { I4053_LSP_ORG(c4, 3, 6); }, 1, {0x12}},
        {"HSP_ORG", [] { I4053_HSP_ORG(c4, 0, 1); }, 2, {0x01}},
        {"HSD_ORG", [] { I4053_HSD_ORG(c4, 1, 2); }, 3, {0x12}},
        {"LSP_PULSE_MOVE 1000",
         [] { I4053_LSP_PULSE_MOVE(c4, 1, 1000); },
         4,
         {0x01, 0, 0, 0x03, 0xe8}},
        {"LSP_PULSE_MOVE -1000",
         [] { I4053_LSP_PULSE_MOVE(c4, 1, -1000); },
         4,
         {0x11, 0, 0, 0x03, 0xe8}},
        {"LSP_PULSE_MOVE 0", [] { I4053_LSP_PULSE_MOVE(c4, 1, 0); }, 4, {0x11, 0, 0, 0, 0}},
        {"HSP_PULSE_MOVE",
         [] { I4053_HSP_PULSE_MOVE(c4, 2, 0x12345678, 0x1abc); },
         5,
         {0x02, 0x12, 0x34, 0x56, 0x78, 0x1a, 0xbc}},
        {"HSP_PULSE_MOVE wide",
         [] { I4053_HSP_PULSE_MOVE(c4, 6, -0x100000001l, 0x12345); },
         5,
         {0x12, 0, 0, 0, 0x01, 0x23, 0x45}},
        {"LSP_MOVE", [] { I4053_LSP_MOVE(c4, 1, 1); }, 6, {0x11}},
        {"HSP_MOVE", [] { I4053_HSP_MOVE(c4, 0, 2); }, 7, {0x02}},
        {"CSP_MOVE 2047", [] { I4053_CSP_MOVE(c4, 0, 1, 2047); }, 8, {0x01, 0x07, 0xff}},
        {"CSP_MOVE 2048", [] { I4053_CSP_MOVE(c4, 0, 1, 2048); }, -1, {}},
        {"SLOW_DOWN", [] { I4053_SLOW_DOWN(c4, 7); }, 9, {0x03}},
        {"SLOW_STOP", [] { I4053_SLOW_STOP(c4, 2); }, 10, {0x02}},
        {"INTP_PULSE -5 300", [] { I4053_INTP_PULSE(c4, -5, 300); }, 16, {0x80, 0x05, 0x01, 0x2c}},
        {"INTP_PULSE 2047",
         [] { I4053_INTP_PULSE(c4, 2047, -2047); },
         16,
         {0x07, 0xff, 0x87, 0xff}},
        {"INTP_PULSE 2048", [] { I4053_INTP_PULSE(c4, 2048, 0); }, -1, {}},
        {"INTP_PULSE dy -2048", [] { I4053_INTP_PULSE(c4, 0, -2048); }, -1, {}},
        {"INTP_PULSE INT_MIN", [] { I4053_INTP_PULSE(c4, INT_MIN, 0); }, -1, {}},
        {"INTP_LINE -1 2",
         [] { I4053_INTP_LINE(c4, -1, 2); },
         17,
         {0x80, 0, 0, 0x01, 0, 0, 0, 0x02}},
        {"INTP_LINE -524287",
         [] { I4053_INTP_LINE(c4, -524287, 0); },
         17,
         {0x80, 0x07, 0xff, 0xff}},
        {"INTP_LINE 0 0", [] { I4053_INTP_LINE(c4, 0, 0); }, -1, {}},
        {"INTP_LINE 524288", [] { I4053_INTP_LINE(c4, 524288, 1); }, -1, {}},
        {"INTP_LINE y LONG_MIN", [] { I4053_INTP_LINE(c4, 1, LONG_MIN); }, -1, {}},
        {"SET_VAR", [] { I4053_SET_VAR(c4, 10, 1, 10, 100); }, 32, {0x0a, 0x01, 0, 0x0a, 0, 0x64}},
        {"SET_VAR limits",
         [] { I4053_SET_VAR(c4, 254, 200, 200, 2047); },
         32,
         {0xfe, 0xc8, 0, 0xc8, 0x07, 0xff}},
        {"SET_VAR high = low", [] { I4053_SET_VAR(c4, 10, 1, 10, 10); }, -1, {}},
        {"SET_VAR high 2048", [] { I4053_SET_VAR(c4, 10, 1, 10, 2048); }, -1, {}},
        {"SET_VAR acc 201", [] { I4053_SET_VAR(c4, 10, 201, 10, 100); }, -1, {}},
        {"SET_VAR acc 0", [] { I4053_SET_VAR(c4, 10, 0, 10, 100); }, -1, {}},
        {"SET_VAR first 0", [] { I4053_SET_VAR(c4, 0, 1, 10, 100); }, -1, {}},
        {"SET_VAR first 255", [] { I4053_SET_VAR(c4, 255, 1, 10, 100); }, -1, {}},
        {"SET_VAR low 0", [] { I4053_SET_VAR(c4, 10, 1, 0, 100); }, -1, {}},
        {"SET_VAR low 201", [] { I4053_SET_VAR(c4, 10, 1, 201, 300); }, -1, {}},
        {"SET_DEFDIR 1 1", [] { I4053_SET_DEFDIR(c4, 1, 1); }, 33, {0x03}},
        {"SET_DEFDIR 2 3", [] { I4053_SET_DEFDIR(c4, 2, 3); }, 33, {0x02}},
        {"SET_MODE", [] { I4053_SET_MODE(c4, 1, 0); }, 34, {0x01}},
        {"SET_SERVO_ON", [] { I4053_SET_SERVO_ON(c4, 0, 1); }, 35, {0x02}},
        {"SET_NC", [] { I4053_SET_NC(c4, 0xa5); }, 37, {0xa5}},
        {"STOP_X", [] { I4053_STOP_X(c4); }, 49, {0x01}},
        {"STOP_Y", [] { I4053_STOP_Y(c4); }, 49, {0x02}},
    };
    for (const CommandCase &c : cases) {
        module->fifo.clear();
        sys.kind = 2; // a pending path
        c.call();
        const std::vector<Frame> frames = module->frames();
        if (c.code < 0) {
            EXPECT_TRUE(frames.empty()) << c.name;
        } else {
            ASSERT_EQ(frames.size(), 1u) << c.name;
            EXPECT_EQ(frames[0].code, c.code) << c.name;
            EXPECT_EQ(frames[0].p, c.p) << c.name;
        }
        // Every command but the segment cancels the path, refused or not.
        EXPECT_EQ(sys.kind, c.code == 16 || std::string(c.name).starts_with("INTP_PULSE") ? 2 : 0)
            << c.name;
    }
}

TEST_F(MotionTest, SetVarStoresOnlyWhatItSends)
{
    I4053_SET_VAR(card_no, 20, 5, 30, 400);
    const slotio::CardRecord &c = slotio::card[card_no];
    EXPECT_EQ(c.first_setting, 20);
    EXPECT_EQ(c.acc_step, 5);
    EXPECT_EQ(c.low_speed, 30u);
    EXPECT_EQ(c.high_speed, 400u);
    I4053_SET_VAR(card_no, 10, 1, 10, 10); // refused
    EXPECT_EQ(c.acc_step, 5);
    EXPECT_EQ(c.low_speed, 30u);
}

struct StopCase {
    const char *name;
    void (*call)();
    std::vector<int> codes;
};

TEST_F(MotionTest, StopsResetTheFifoPathFirst)
{
    const StopCase cases[] = {
        {"STOP_ALL", [] { I4053_STOP_ALL(c4); }, {50}},
        {"RESET_SYSTEM", [] { I4053_RESET_SYSTEM(c4); }, {50, 48}},
    };
    for (const StopCase &c : cases) {
        module->fifo.clear();
        module->resets.clear();
        sim().clear();
        sys.kind = 3;
        slotio::WorkFlag = 1;
        c.call();
        EXPECT_EQ(sys.kind, 0);
        EXPECT_EQ(slotio::WorkFlag, 0);
        EXPECT_EQ(module->resets, (Bytes{0, 0})) << c.name;
        // Two resets and fifteen zero bytes go out before any status read.
        ASSERT_GE(sim().trace.size(), 17u);
        for (size_t i = 0; i < 17; ++i)
            EXPECT_EQ(sim().trace[i].code, SLOT_WRITE_REG) << c.name << " " << i;
        ASSERT_GE(module->fifo.size(), 15u);
        EXPECT_EQ(Bytes(module->fifo.begin(), module->fifo.begin() + 15), Bytes(15, 0));
        module->fifo.erase(module->fifo.begin(), module->fifo.begin() + 15);
        std::vector<int> codes;
        for (const Frame &f : module->frames())
            codes.push_back(f.code);
        EXPECT_EQ(codes, c.codes) << c.name;
    }
}

TEST_F(MotionTest, EmergencyStopNeverWaits)
{
    for (int i = 0; i < 79; ++i)
        output_fifo(card_no, 1, 0, 0, 0, 0, 0, 0, 0, 0);
    module->fifo.clear();
    module->status_reads = 0;
    module->status = 0; // FIFO_READY clear
    slotio::fifo_full = 0;
    sim().clear();
    I4053_EMG_STOP(card_no);
    EXPECT_EQ(sim().trace.size(), 45u);
    for (const pacsim::TraceEntry &e : sim().trace)
        EXPECT_EQ(e.code, SLOT_WRITE_REG);
    EXPECT_EQ(module->status_reads, 0);
    EXPECT_EQ(slotio::fifo_full, 0);
    EXPECT_EQ(sim().slept_us, 0);
    Bytes expected(15, 0);
    const Bytes frame = frame_bytes(50, {}, 80);
    expected.insert(expected.end(), frame.begin(), frame.end());
    EXPECT_EQ(module->fifo, expected);
    I4053_EMG_STOP(card_no); // the sequence number wraps as for any frame
    EXPECT_EQ(module->fifo.back(), 1);
}

TEST_F(MotionTest, StopPolls)
{
    using slotio::BUSY;
    using slotio::X_MOVING;
    using slotio::Y_MOVING;
    module->status = BUSY;
    EXPECT_EQ(I4053_IS_X_STOP(card_no), 0);
    EXPECT_EQ(sim().trace.size(), 1u); // busy: register 2 is not read
    module->status = 0;
    module->axis_status = Y_MOVING;
    sim().clear();
    EXPECT_EQ(I4053_IS_X_STOP(card_no), 1);
    EXPECT_EQ(I4053_IS_Y_STOP(card_no), 0);
    EXPECT_EQ(sim().trace.size(), 6u);
    EXPECT_EQ(sim().slept_us, 20);
    module->axis_status = X_MOVING;
    EXPECT_EQ(I4053_IS_X_STOP(card_no), 0);
    EXPECT_EQ(I4053_LIMIT_X(card_no), 0);
    EXPECT_EQ(I4053_LIMIT_Y(card_no), X_MOVING);
}

TEST_F(MotionTest, WaitPollsUntilTheAxisStops)
{
    sim().clear();
    I4053_WAIT_X(card_no); // not registered: returns without reading
    EXPECT_TRUE(sim().trace.empty());
    registered();
    module->script = {slotio::BUSY, slotio::BUSY, 0};
    module->axis_status = 0;
    I4053_WAIT_X(card_no);
    EXPECT_EQ(module->status_reads, 3);
    EXPECT_EQ(sim().slept_us, 10);
}

TEST_F(MotionTest, CardsOutsideTheTableAreRefusedByEveryCall)
{
    // Card 20 and up would index past the card table.
    constexpr unsigned char bad = 20;
    sys.kind = 2;
    outportb_fifo(bad, 1);
    output_fifo(bad, 1, 0, 0, 0, 0, 0, 0, 0, 0);
    I4053_reset_fifo(bad);
    I4053_LSP_ORG(bad, 0, 1);
    I4053_LSP_PULSE_MOVE(bad, 1, 5);
    I4053_INTP_PULSE(bad, 1, 1);
    I4053_INTP_LINE(bad, 1, 1);
    I4053_SET_VAR(bad, 10, 1, 10, 100);
    I4053_STOP_ALL(bad);
    I4053_RESET_SYSTEM(bad);
    I4053_EMG_STOP(bad);
    I4053_WAIT_X(bad);
    EXPECT_EQ(I4053_LIMIT_X(bad), 0);
    EXPECT_EQ(I4053_IS_Y_STOP(bad), 0);
    I4053_INTP_LINE02(bad, 100, 0, 100, 0);
    I4053_INTP_CIRCLE02(bad, 100, 0, 0, 100, 0);
    I4053_INTP_ARC02(bad, 100, 0, 100, 0, 100, 0);
    I4053_GET_CARD(bad);
    I4053_INTP_PROFILE(bad);
    EXPECT_EQ(I4053_LINE_CORE(bad, 100, 0, 100, 0), 0);
    EXPECT_TRUE(sim().trace.empty());
    EXPECT_EQ(slotio::workno, 0);
    EXPECT_EQ(sys.kind, 2);
}

} // namespace
