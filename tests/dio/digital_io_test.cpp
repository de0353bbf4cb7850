// Digital I/O calls: the bytes on the bus for each family, read-modify-write
// of single outputs, and inputs read in the module's own format.
#include "sim/model/modules.h"
#include "support/sim_fixture.h"

#include <climits>

using namespace slotio_test;

namespace {

constexpr int slot = 2;

// A port whose registers and read-back registers the test sets directly.
struct Port : pacsim::Device {
    std::map<uint32_t, uint32_t> readback;
    int other_request(uint32_t code, std::span<uint32_t> words) override
    {
        if (code != SLOT_READBACK_DO)
            return -1;
        words[pacsim::word_value] = readback[words[pacsim::word_reg]];
        return 0;
    }
};

// One request as the test reads it: 'W' write, 'R' read, 'B' read-back,
// with the register and the byte written (or answered).
struct Op {
    char kind;
    uint32_t reg;
    uint32_t value;
    bool operator==(const Op &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Op &op)
{
    return out << op.kind << op.reg << "=0x" << std::hex << op.value << std::dec;
}

class DigitalIo : public SimTest {
  protected:
    Port *port = nullptr;

    void SetUp() override
    {
        SimTest::SetUp();
        auto p = std::make_unique<Port>();
        port = p.get();
        controller.install(slot, std::move(p));
        start();
        ASSERT_EQ(Open_Slot(slot), 0);
    }

    std::vector<Op> ops()
    {
        std::vector<Op> out;
        for (const pacsim::TraceEntry &e : sim().trace) {
            EXPECT_EQ(e.slot, slot);
            switch (e.code) {
            case SLOT_WRITE_REG: out.push_back({'W', e.sent[6], e.sent[1]}); break;
            case SLOT_READ_REG: out.push_back({'R', e.sent[6], e.answer[1]}); break;
            case SLOT_READBACK_DO: out.push_back({'B', e.sent[6], e.answer[1]}); break;
            default: ADD_FAILURE() << "unexpected request " << e.code;
            }
        }
        return out;
    }

    void inputs(std::initializer_list<uint32_t> bytes)
    {
        uint32_t reg = 1;
        for (uint32_t b : bytes)
            port->set(reg++, b);
    }
    void outputs(std::initializer_list<uint32_t> bytes)
    {
        uint32_t reg = 0;
        for (uint32_t b : bytes)
            port->readback[reg++] = b;
    }
    std::vector<Op> run(void (*call)())
    {
        sim().clear();
        call();
        return ops();
    }
};

struct WriteCase {
    const char *name;
    void (*call)();
    std::vector<Op> ops;
};

TEST_F(DigitalIo, PortWritesSendOneByteARegisterLowestFirst)
{
    const WriteCase cases[] = {
        {"DO_8", [] { DO_8(slot, 0xa5); }, {{'W', 0, 0xa5}}},
        {"DIO_DO_8", [] { DIO_DO_8(slot, 0x5a); }, {{'W', 0, 0x5a}}},
        {"DO_16", [] { DO_16(slot, 0x1234); }, {{'W', 0, 0x34}, {'W', 1, 0x12}}},
        {"DO_16 high bits", [] { DO_16(slot, 0xabcd1234); }, {{'W', 0, 0x34}, {'W', 1, 0x12}}},
        {"DIO_DO_16", [] { DIO_DO_16(slot, 0xbeef); }, {{'W', 0, 0xef}, {'W', 1, 0xbe}}},
        {"DO_32",
         [] { DO_32(slot, 0x1122334455ul); },
         {{'W', 0, 0x55}, {'W', 1, 0x44}, {'W', 2, 0x33}, {'W', 3, 0x22}}},
    };
    for (const WriteCase &c : cases)
        EXPECT_EQ(run(c.call), c.ops) << c.name;
}

struct ReadCase {
    const char *name;
    unsigned long (*call)();
    unsigned long result;
    std::vector<Op> ops;
};

TEST_F(DigitalIo, PortReadsAssembleLittleEndian)
{
    inputs({0xab, 0xcd, 0xef, 0x91});
    outputs({0x01, 0x82, 0x43, 0xc4});
    const ReadCase cases[] = {
        {"DI_8", [] { return (unsigned long)DI_8(slot); }, 0xab, {{'R', 1, 0xab}}},
        {"DIO_DI_8", [] { return (unsigned long)DIO_DI_8(slot); }, 0xab, {{'R', 1, 0xab}}},
        {"DI_16",
         [] { return (unsigned long)DI_16(slot); },
         0xcdab,
         {{'R', 1, 0xab}, {'R', 2, 0xcd}}},
        {"DIO_DI_16",
         [] { return (unsigned long)DIO_DI_16(slot); },
         0xcdab,
         {{'R', 1, 0xab}, {'R', 2, 0xcd}}},
        {"DI_32",
         [] { return DI_32(slot); },
         0x91efcdab,
         {{'R', 1, 0xab}, {'R', 2, 0xcd}, {'R', 3, 0xef}, {'R', 4, 0x91}}},
        {"DO_8_RB", [] { return (unsigned long)DO_8_RB(slot); }, 0x01, {{'B', 0, 0x01}}},
        {"DIO_DO_8_RB", [] { return (unsigned long)DIO_DO_8_RB(slot); }, 0x01, {{'B', 0, 0x01}}},
        {"DO_16_RB",
         [] { return (unsigned long)DO_16_RB(slot); },
         0x8201,
         {{'B', 0, 0x01}, {'B', 1, 0x82}}},
        {"DIO_DO_16_RB",
         [] { return (unsigned long)DIO_DO_16_RB(slot); },
         0x8201,
         {{'B', 0, 0x01}, {'B', 1, 0x82}}},
        {"DO_32_RB",
         [] { return DO_32_RB(slot); },
         0xc4438201,
         {{'B', 0, 0x01}, {'B', 1, 0x82}, {'B', 2, 0x43}, {'B', 3, 0xc4}}},
    };
    for (const ReadCase &c : cases) {
        sim().clear();
        EXPECT_EQ(c.call(), c.result) << c.name;
        EXPECT_EQ(ops(), c.ops) << c.name;
    }
}

TEST_F(DigitalIo, OnlyTheLowByteOfEachRegisterCounts)
{
    inputs({0x1ab, 0xfcd});
    EXPECT_EQ(DI_16(slot), 0xcdabu);
}

TEST_F(DigitalIo, AFailedByteReadsZeroAndTheRestStillGoOut)
{
    inputs({0x11, 0x22, 0x33, 0x44});
    port->fail_register(2);
    EXPECT_EQ(DI_32(slot), 0x44330011ul);
    EXPECT_EQ(sim().trace.size(), 4u);
    sim().clear();
    DO_32(slot, 0xaabbccdd);
    EXPECT_EQ(sim().trace.size(), 4u);
    EXPECT_NE(sim().trace[2].error, 0);
}

struct BitCase {
    const char *name;
    void (*call)();
    std::vector<uint32_t> readback;
    std::vector<uint32_t> written;
};

TEST_F(DigitalIo, BitwiseOutputsReadBackChangeOneBitAndWriteEveryByte)
{
    const BitCase cases[] = {
        {"DO_8_BW set", [] { DO_8_BW(slot, 3, 1); }, {0x00}, {0x08}},
        {"DO_8_BW clear", [] { DO_8_BW(slot, 3, 0); }, {0xff}, {0xf7}},
        {"DO_8_BW unchanged", [] { DO_8_BW(slot, 3, 1); }, {0x08}, {0x08}},
        {"DIO_DO_8_BW", [] { DIO_DO_8_BW(slot, 0, 7); }, {0x10}, {0x11}},
        {"DO_16_BW", [] { DO_16_BW(slot, 9, 1); }, {0x00, 0x00}, {0x00, 0x02}},
        {"DIO_DO_16_BW", [] { DIO_DO_16_BW(slot, 15, 0); }, {0xff, 0xff}, {0xff, 0x7f}},
        {"DO_32_BW bit 31",
         [] { DO_32_BW(slot, 31, 1); },
         {0x01, 0x02, 0x03, 0x04},
         {0x01, 0x02, 0x03, 0x84}},
        // Bit numbers outside the port write the read-back image unchanged.
        {"DO_8_BW bit 8", [] { DO_8_BW(slot, 8, 1); }, {0x5a}, {0x5a}},
        {"DO_8_BW bit 31", [] { DO_8_BW(slot, 31, 0); }, {0x5a}, {0x5a}},
        {"DO_16_BW bit 16", [] { DO_16_BW(slot, 16, 1); }, {0x12, 0x34}, {0x12, 0x34}},
        {"DO_32_BW bit 32",
         [] { DO_32_BW(slot, 32, 1); },
         {0x01, 0x02, 0x03, 0x04},
         {0x01, 0x02, 0x03, 0x04}},
        {"DO_32_BW bit -1",
         [] { DO_32_BW(slot, -1, 0); },
         {0xff, 0xff, 0xff, 0xff},
         {0xff, 0xff, 0xff, 0xff}},
        {"DO_16_BW bit INT_MAX", [] { DO_16_BW(slot, INT_MAX, 1); }, {0, 0}, {0, 0}},
        {"DO_8_BW bit INT_MIN", [] { DO_8_BW(slot, INT_MIN, 0); }, {0xff}, {0xff}},
    };
    for (const BitCase &c : cases) {
        port->readback.clear();
        std::vector<Op> expected;
        for (uint32_t reg = 0; reg < c.readback.size(); ++reg) {
            port->readback[reg] = c.readback[reg];
            expected.push_back({'B', reg, c.readback[reg]});
        }
        for (uint32_t reg = 0; reg < c.written.size(); ++reg)
            expected.push_back({'W', reg, c.written[reg]});
        EXPECT_EQ(run(c.call), expected) << c.name;
    }
}

TEST_F(DigitalIo, BitwiseOutputWithAFailedReadBackWritesWhatItGot)
{
    outputs({0xff, 0xff});
    port->fail_register(1); // read-back of byte 1 fails, and so does its write
    DO_16_BW(slot, 0, 0);
    const std::vector<Op> expected = {{'B', 0, 0xff}, {'B', 1, 0}, {'W', 0, 0xfe}, {'W', 1, 0}};
    EXPECT_EQ(ops(), expected);
}

struct InputBitCase {
    int (*call)(int, int);
    int width;
};

TEST_F(DigitalIo, BitwiseInputsTestOneBitOfTheWholePort)
{
    inputs({0x81, 0x01, 0x00, 0x80});
    const InputBitCase cases[] = {{DI_8_BW, 8}, {DI_16_BW, 16}, {DI_32_BW, 32}};
    const uint32_t port_value = 0x80000181;
    for (const InputBitCase &c : cases) {
        for (int bit = 0; bit < c.width; ++bit) {
            sim().clear();
            EXPECT_EQ(c.call(slot, bit), static_cast<int>((port_value >> bit) & 1))
                << c.width << " bit " << bit;
            EXPECT_EQ(sim().trace.size(), static_cast<size_t>(c.width / 8));
        }
        for (int bit : {c.width, 32, 63, -1, INT_MIN, INT_MAX})
            EXPECT_EQ(c.call(slot, bit), 0) << c.width << " bit " << bit;
        if (c.width < 32) { // bit 31 lies beyond the narrower ports
            EXPECT_EQ(c.call(slot, 31), 0) << c.width;
        }
    }
}

struct ReadDiCase {
    uint32_t id;
    std::vector<uint32_t> regs; // registers 1 to 4
    size_t reads;               // registers read after the ID
    unsigned long result;
};

TEST_F(DigitalIo, ReadDiTakesWidthAndPolarityFromTheModuleId)
{
    const ReadDiCase cases[] = {
        {0x03, {0x0f, 0xaa, 0xaa, 0xaa}, 1, 0xf0},       // format 0x11: 8, inverted
        {0x01, {0x0f, 0xaa, 0xaa, 0xaa}, 1, 0x0f},       // format 0x01: 8
        {0x04, {0x0f, 0xaa, 0xaa, 0xaa}, 2, 0xaa0f},     // format 0x02: 16
        {0x07, {0x0f, 0xaa, 0xaa, 0xaa}, 2, 0x55f0},     // format 0x32: 16, inverted
        {0x09, {0x0f, 0xaa, 0xbb, 0xcc}, 4, 0xccbbaa0f}, // format 0x00: 32
        {0x0c, {0x0f, 0xaa, 0xbb, 0xcc}, 4, 0xccbbaa0f}, // format 0x03: 32
        {0x0b, {0x0f, 0xaa, 0xbb, 0xcc}, 4, 0x334455f0}, // format 0x13: 32, inverted
        {0x1f, {0x0f, 0xaa, 0xbb, 0xcc}, 4, 0xccbbaa0f}, // output module: no entry
        {0x68, {0x0f, 0xaa, 0xbb, 0xcc}, 4, 0xccbbaa0f}, // beyond the table
        {0xff, {0x0f, 0xaa, 0xbb, 0xcc}, 4, 0xccbbaa0f},
    };
    for (const ReadDiCase &c : cases) {
        port->set(0, c.id);
        for (uint32_t reg = 1; reg <= 4; ++reg)
            port->set(reg, c.regs[reg - 1]);
        sim().clear();
        EXPECT_EQ(ReadDI(slot), c.result) << std::hex << c.id;
        const std::vector<Op> got = ops();
        ASSERT_EQ(got.size(), 1 + c.reads) << std::hex << c.id;
        EXPECT_EQ(got[0], (Op{'R', 0, c.id}));
        for (size_t i = 1; i < got.size(); ++i)
            EXPECT_EQ(got[i].reg, i);
    }
}

TEST_F(DigitalIo, ReadDiWithAFailedIdReadUsesIdZero)
{
    inputs({0x01, 0x02, 0x03, 0x04});
    port->fail_register(0);
    EXPECT_EQ(ReadDI(slot), 0x04030201ul); // ID 0 has no entry: 32 inputs as they are
}

// The simulated digital modules: latched outputs, inputs as electrical levels.
class SimulatedDigitalModule : public SimTest {
  protected:
    pacsim::DigitalModule &put(uint8_t id)
    {
        auto m = std::make_unique<pacsim::DigitalModule>(id);
        auto &ref = *m;
        controller.install(slot, std::move(m));
        return ref;
    }
    void SetUp() override
    {
        SimTest::SetUp();
        start();
        ASSERT_EQ(Open_Slot(slot), 0);
    }
};

TEST_F(SimulatedDigitalModule, OutputsAreLatchedAndReadBack)
{
    pacsim::DigitalModule &m = put(0x27); // 4065: 32 outputs
    DO_32(slot, 0x89abcdef);
    EXPECT_EQ(m.outputs(), 0x89abcdefu);
    EXPECT_EQ(DO_32_RB(slot), 0x89abcdeful);
    DO_32_BW(slot, 0, 0);
    DO_32_BW(slot, 4, 1);
    EXPECT_EQ(m.outputs(), 0x89abcdfeu);
}

TEST_F(SimulatedDigitalModule, InvertedInputsReadInvertedAndReadDiUndoesIt)
{
    pacsim::DigitalModule &m = put(0x03); // 4042: 8 inputs, inverted
    m.set_inputs(0x03);
    EXPECT_EQ(DI_8(slot), 0xfc);
    EXPECT_EQ(ReadDI(slot), 0x03ul);
    EXPECT_EQ(GetNameOfModule(slot), 4042);

    pacsim::DigitalModule &plain = put(0x18); // 4050: 16 inputs, 16 outputs
    plain.set_inputs(0x8001);
    EXPECT_EQ(DIO_DI_16(slot), 0x8001u);
    EXPECT_EQ(ReadDI(slot), 0x8001ul);
    DIO_DO_16(slot, 0x4242);
    EXPECT_EQ(DIO_DO_16_RB(slot), 0x4242u);
}

TEST_F(SimulatedDigitalModule, InputModuleHasNoOutputLatch)
{
    put(0x04); // 4051: 16 inputs only
    DO_16(slot, 0xffff);
    EXPECT_EQ(DO_16_RB(slot), 0u);
}

} // namespace
