// The simulated encoder module on its own, through slot requests.
#include "sim/model/controller.h"
#include "sim/model/encoder_module.h"
#include "slotio.h"
#include "support/model_registers.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <memory>

namespace {

using pacsim::EncoderModule;

class EncoderModuleTest : public ::testing::Test {
  protected:
    static constexpr int slot = 8;
    pacsim::Controller controller;
    EncoderModule *encoder = nullptr;

    void SetUp() override
    {
        auto m = std::make_unique<EncoderModule>();
        encoder = m.get();
        controller.install(slot, std::move(m));
    }

    uint8_t read(uint32_t reg) { return slotio_test::model_read(controller, slot, reg); }
    void write(uint32_t reg, uint8_t value)
    {
        slotio_test::model_write(controller, slot, reg, value);
    }
    // A counter as a program reads it: control register axis-1 selects the
    // byte, count register axis shows it.
    uint16_t read_count(int axis, uint8_t mode = 0)
    {
        const uint32_t control = static_cast<uint32_t>(axis - 1);
        const uint8_t base = (mode & 0xf8) | EncoderModule::reset_released;
        write(control, base);
        const uint8_t low = read(static_cast<uint32_t>(axis));
        write(control, base | 0x01);
        const uint8_t high = read(static_cast<uint32_t>(axis));
        write(control, base | 0x03);
        return static_cast<uint16_t>(high << 8 | low);
    }
};

TEST_F(EncoderModuleTest, AnswersItsIdAndShowsItsCountsFromPowerUp)
{
    EXPECT_EQ(read(0), 13);
    encoder->set_count(2, 0x1234);
    EXPECT_EQ(read(2), 0x12); // the high byte is selected at power-up
    EXPECT_EQ(read_count(2), 0x1234);
}

struct SelectCase {
    uint8_t control;
    bool high;
};

TEST_F(EncoderModuleTest, ControlBitZeroSelectsTheByteOfEachAxis)
{
    const uint16_t counts[3] = {0x1234, 0xabcd, 0x00ff};
    for (int axis = 1; axis <= 3; ++axis)
        encoder->set_count(axis, counts[axis - 1]);
    const SelectCase cases[] = {
        {0x04, false}, {0x05, true}, {0x06, false}, {0x07, true},
        {0xfc, false}, {0xff, true}, {0x16, false}, {0xad, true},
    };
    for (int axis = 1; axis <= 3; ++axis) {
        for (const SelectCase &c : cases) {
            SCOPED_TRACE(::testing::Message() << "axis " << axis << " control " << int(c.control));
            write(static_cast<uint32_t>(axis - 1), c.control);
            const uint16_t count = counts[axis - 1];
            EXPECT_EQ(read(static_cast<uint32_t>(axis)), c.high ? count >> 8 : count & 0xff);
            EXPECT_EQ(encoder->control(axis), c.control); // kept whole
            EXPECT_EQ(encoder->mode(axis), c.control & 0xf8);
            EXPECT_EQ(encoder->count(axis), count); // a reading changes nothing
        }
    }
}

TEST_F(EncoderModuleTest, TheProgramsReadingSequenceGivesBothBytes)
{
    // Initialisation with mode 0x15 writes 0x13 and then 0x17; a reading
    // writes 0x14 (low byte), 0x15 (high byte), 0x17.
    encoder->set_count(2, 0x1234);
    write(1, 0x13);
    write(1, 0x17);
    EXPECT_EQ(encoder->count(2), 0); // the initialisation cleared the counter
    encoder->set_count(2, 0x1234);
    write(1, 0x14);
    EXPECT_EQ(read(2), 0x34);
    write(1, 0x15);
    EXPECT_EQ(read(2), 0x12);
    write(1, 0x17);
    EXPECT_EQ(encoder->mode(2), 0x10);
}

TEST_F(EncoderModuleTest, ResetIsActiveLowAndHoldsTheCounterAtZero)
{
    encoder->set_count(1, 500);
    encoder->set_count(3, 700);
    write(0, 0x03); // axis 1: bit 2 low, the reset held
    EXPECT_TRUE(encoder->in_reset(1));
    EXPECT_EQ(read(1), 0);
    encoder->set_count(1, 77);
    encoder->move(1, 5);
    EXPECT_EQ(read(1), 0);
    EXPECT_EQ(encoder->count(1), 0);
    write(0, 0x02);
    EXPECT_EQ(read(1), 0); // low byte selected: still 0
    write(0, 0x07);        // released: counting starts from 0
    EXPECT_FALSE(encoder->in_reset(1));
    encoder->move(1, 3);
    EXPECT_EQ(read_count(1), 3);
    EXPECT_EQ(read_count(3), 700); // the other axes go on
}

struct WrapCase {
    int64_t value;
    uint16_t count;
};

TEST_F(EncoderModuleTest, CountsWrapModulo65536BothWays)
{
    const WrapCase set_cases[] = {
        {-1, 0xffff},
        {65536, 0},
        {65536 + 5, 5},
        {-65537, 0xffff},
        {0x12345, 0x2345},
        {-32768, 0x8000},
        {std::numeric_limits<int64_t>::min(), 0},
        {std::numeric_limits<int64_t>::max(), 0xffff},
    };
    for (const WrapCase &c : set_cases) {
        encoder->set_count(1, c.value);
        EXPECT_EQ(read_count(1), c.count) << c.value;
    }
    struct MoveCase {
        uint16_t from;
        int64_t delta;
        uint16_t to;
    };
    const MoveCase moves[] = {
        {0xfffe, 3, 0x0001},
        {0x0001, -3, 0xfffe},
        {0x1234, 65536, 0x1234},
        {0x1234, -65536, 0x1234},
        {0x0000, -1, 0xffff},
        {0xffff, 1, 0x0000},
        {0x8000, std::numeric_limits<int64_t>::min(), 0x8000},
    };
    for (const MoveCase &m : moves) {
        encoder->set_count(3, m.from);
        encoder->move(3, m.delta);
        EXPECT_EQ(read_count(3), m.to) << m.from << " + " << m.delta;
    }
}

TEST_F(EncoderModuleTest, IndexInputsAreAWholeByte)
{
    EXPECT_EQ(read(4), 0);
    encoder->set_index(0xfd);
    EXPECT_EQ(read(4), 0xfd);
    write(3, 0x00); // registers 3 and 4 take no writes that matter
    write(4, 0x00);
    EXPECT_EQ(read(4), 0xfd);
    EXPECT_EQ(encoder->index(), 0xfd);
}

TEST_F(EncoderModuleTest, AxesOutsideOneToThreeAreIgnored)
{
    for (int axis : {0, 4, -1, 1000}) {
        encoder->set_count(axis, 5);
        encoder->move(axis, 5);
        EXPECT_EQ(encoder->count(axis), 0);
        EXPECT_EQ(encoder->control(axis), 0);
        EXPECT_FALSE(encoder->in_reset(axis));
    }
    for (int axis = 1; axis <= 3; ++axis)
        EXPECT_EQ(encoder->count(axis), 0);
}

} // namespace
