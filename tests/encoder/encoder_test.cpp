// The encoder driver: control bytes, byte-wise counter reads, index inputs,
// and the software counts that extend the 16-bit counters.
#include "motion/card.h"
#include "motion/motion_state.h"
#include "sim/model/modules.h"
#include "support/sim_fixture.h"

using namespace slotio_test;

namespace {

// Counters whose bytes the test sets; the control bytes written are kept.
struct Counters : pacsim::Module {
    Counters() : Module(13) {}
    std::array<uint16_t, 3> count{};
    std::array<uint8_t, 3> ctrl{};
    uint8_t index = 0;
    uint32_t read(uint32_t reg) const override
    {
        if (reg >= 1 && reg <= 3) {
            const uint16_t c = count[reg - 1];
            return (ctrl[reg - 1] & 1) ? c >> 8 : c & 0xff;
        }
        if (reg == 4)
            return index;
        return Module::read(reg);
    }
    void write(uint32_t reg, uint32_t value) override
    {
        if (reg <= 2)
            ctrl[reg] = static_cast<uint8_t>(value);
    }
};

struct Op {
    char kind; // 'W' write, 'R' read
    uint32_t reg;
    uint32_t value;
    bool operator==(const Op &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Op &op)
{
    return out << op.kind << op.reg << "=0x" << std::hex << op.value << std::dec;
}

class Encoder : public ModuleSlotTest<Counters, 6> {
  protected:
    Counters *&enc = module;
    std::vector<Op> ops()
    {
        std::vector<Op> out;
        for (const pacsim::TraceEntry &e : sim().trace)
            out.push_back(e.code == SLOT_WRITE_REG ? Op{'W', e.sent[6], e.sent[1]}
                                                   : Op{'R', e.sent[6], e.answer[1]});
        sim().clear();
        return out;
    }
    const slotio::CardRecord &rec() const { return slotio::card[card_no]; }
};

TEST_F(Encoder, RegistrationWantsIdThirteen)
{
    EXPECT_EQ(I4052_REGISTRATION(card_no, 42), 1);
    EXPECT_EQ(rec().user_value, 42);
    controller.install(card_no, pacsim::make_module(14));
    EXPECT_EQ(I4052_REGISTRATION(card_no, 43), 0);
    EXPECT_EQ(rec().user_value, 42);
}

TEST_F(Encoder, InitCardWritesModesWithTheResetPulse)
{
    I4052_INIT_CARD(card_no, 0x00, 0xff, 0x15);
    EXPECT_EQ(ops(), (std::vector<Op>{{'W', 0, 0x03},
                                      {'W', 1, 0xfb},
                                      {'W', 2, 0x13},
                                      {'W', 0, 0x07},
                                      {'W', 1, 0xff},
                                      {'W', 2, 0x17}}));
}

TEST_F(Encoder, CountReadIsFiveRequests)
{
    I4052_INIT_CARD(card_no, 0x08, 0x10, 0x18);
    ops();
    enc->count[1] = 0x1234;
    EXPECT_EQ(I4052_GET_ENCODER(card_no, 2), 0x1234);
    EXPECT_EQ(ops(),
              (std::vector<Op>{
                  {'W', 1, 0x14}, {'R', 2, 0x34}, {'W', 1, 0x15}, {'R', 2, 0x12}, {'W', 1, 0x17}}));
    EXPECT_EQ(I4052_GET_ENCODER(card_no, 0), 0);
    EXPECT_EQ(I4052_GET_ENCODER(card_no, 4), 0);
    EXPECT_TRUE(ops().empty());
}

TEST_F(Encoder, ResetEncoderPulsesBitTwo)
{
    I4052_INIT_CARD(card_no, 0x28, 0, 0);
    ops();
    I4052_RESET_ENCODER(card_no, 1);
    EXPECT_EQ(ops(), (std::vector<Op>{{'W', 0, 0x2b}, {'W', 0, 0x2f}}));
    I4052_RESET_ENCODER(card_no, 9);
    EXPECT_TRUE(ops().empty());
}

TEST_F(Encoder, IndexInputsAreTheLowThreeBits)
{
    enc->index = 0xfd;
    EXPECT_EQ(I4052_GET_INDEX(card_no), 5);
}

struct StepCase {
    uint16_t last;
    uint16_t now;
    long step;
};

TEST_F(Encoder, ExtendedCountStepsAcrossTheWrap)
{
    const StepCase cases[] = {
        {0xfff0, 0x0010, 32},    {0x0010, 0xfff0, -32}, {0x0000, 0x8000, -32768},
        {0x0000, 0x7fff, 32767}, {0x1234, 0x1234, 0},
    };
    for (const StepCase &c : cases) {
        slotio::card[card_no] = {};
        slotio::card[card_no].enc_last[2] = c.last;
        slotio::card[card_no].enc_count[2] = 1000;
        enc->count[2] = c.now;
        EXPECT_EQ(I4052_GET_ENCODER32(card_no, 3), 1000 + c.step) << c.last << " " << c.now;
        EXPECT_EQ(rec().enc_last[2], c.now);
    }
}

TEST_F(Encoder, ManySmallStepsAddUpPastSixteenBits)
{
    long expected = 0;
    uint16_t hw = 0;
    for (int i = 0; i < 40; ++i) {
        const int step = (i < 20) ? 30000 : -25000;
        hw = static_cast<uint16_t>(hw + step);
        expected += step;
        enc->count[0] = hw;
        EXPECT_EQ(I4052_GET_ENCODER32(card_no, 1), expected);
    }
}

TEST_F(Encoder, ResetExtendedCountMovesEveryBaseline)
{
    enc->count = {100, 200, 300};
    EXPECT_EQ(I4052_GET_ENCODER32(card_no, 2), 200); // first update counts from 0
    enc->count = {150, 260, 390};                    // every axis moves
    I4052_RESET_ENCODER32(card_no, 1);
    EXPECT_EQ(rec().enc_count[0], 0);
    enc->count = {170, 270, 400};
    EXPECT_EQ(I4052_GET_ENCODER32(card_no, 1), 20);  // movement since the reset
    EXPECT_EQ(I4052_GET_ENCODER32(card_no, 2), 210); // lost the 60 made before the reset
    EXPECT_EQ(I4052_GET_ENCODER32(card_no, 3), 310);
    // Axis 4: all three axes updated, 0 returned; the reset reads all three too.
    enc->count = {171, 271, 401};
    sim().clear();
    EXPECT_EQ(I4052_GET_ENCODER32(card_no, 4), 0);
    EXPECT_EQ(sim().trace.size(), 15u);
    EXPECT_EQ(rec().enc_count[0], 21);
    sim().clear();
    I4052_RESET_ENCODER32(card_no, 0);
    EXPECT_EQ(sim().trace.size(), 15u);
    EXPECT_EQ(rec().enc_count[0], 21);
}

TEST_F(Encoder, HardwareResetCountsAsAStepUnlessTheExtendedCountIsResetToo)
{
    enc->count[0] = 500;
    EXPECT_EQ(I4052_GET_ENCODER32(card_no, 1), 500);
    enc->count[0] = 0; // the hardware counter was cleared
    EXPECT_EQ(I4052_GET_ENCODER32(card_no, 1), 0);
}

TEST_F(Encoder, CardsOutsideTheTableAreRefused)
{
    for (unsigned char bad : {20, 21, 255}) {
        EXPECT_EQ(I4052_REGISTRATION(bad, 1), 0);
        I4052_INIT_CARD(bad, 1, 2, 3);
        EXPECT_EQ(I4052_GET_ENCODER(bad, 1), 0);
        I4052_RESET_ENCODER(bad, 1);
        EXPECT_EQ(I4052_GET_INDEX(bad), 0);
        I4052_ENCODER32_ISR(bad);
        I4052_RESET_ENCODER32(bad, 1);
        EXPECT_EQ(I4052_GET_ENCODER32(bad, 1), 0);
    }
    EXPECT_TRUE(sim().trace.empty());
}

} // namespace
