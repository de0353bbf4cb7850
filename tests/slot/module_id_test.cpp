// Module identification: type codes, model numbers in both series, model
// texts and their board variants.
#include "sim/model/modules.h"
#include "slot/module_catalogue.h"
#include "support/sim_fixture.h"

#include <cstring>

using namespace slotio_test;
namespace cat = slotio::catalogue;

namespace {

constexpr int slot = 3;
constexpr const char *marker = "usr/local/etc/ostrel/5000-PAC";

class ModuleId : public SimTest {
  protected:
    void SetUp() override
    {
        SimTest::SetUp();
        start();
        ASSERT_EQ(Open_Slot(slot), 0);
    }
    void put(uint8_t id) { controller.install(slot, pacsim::make_module(id)); }
    std::string text()
    {
        char buf[16];
        std::memset(buf, 'x', sizeof buf);
        GetExactlyNameOfModule(slot, buf);
        return buf;
    }
};

struct IdCase {
    uint8_t id;
    int type;
    int model_4000;
};

TEST_F(ModuleId, TypeAndModelNumberFromTheIdByte)
{
    const IdCase cases[] = {
        {0x0d, cat::encoder, 4052},
        {0x0e, cat::motion, 4053},
        {0x35, cat::analog_input, 4031},
        {0x40, cat::test_fixture, 4045},
        {0x1f, cat::digital_output, 4057},
        {0x03, cat::digital_input, 4042},
        {0x00, 0, 4000},    // empty row
        {0x73, 0, 4000},    // last row, empty
        {0x74, 4000, 4000}, // beyond the table
        {0xff, 4000, 4000},
    };
    for (const IdCase &c : cases) {
        put(c.id);
        sim().clear();
        EXPECT_EQ(GetModuleType(slot), c.type) << int(c.id);
        EXPECT_EQ(GetNameOfModule(slot), c.model_4000) << int(c.id);
        ASSERT_EQ(sim().trace.size(), 2u);
        for (const pacsim::TraceEntry &e : sim().trace) {
            EXPECT_EQ(e.code, SLOT_READ_REG);
            EXPECT_EQ(e.sent[6], 0u); // register 0
        }
    }
}

TEST_F(ModuleId, SeriesFollowsTheMarkerFileOnEveryCall)
{
    put(0x1f); // model 57
    EXPECT_EQ(GetNameOfModule(slot), 4057);
    sim().root().write_file(marker, "");
    EXPECT_EQ(GetNameOfModule(slot), 5057);
    EXPECT_EQ(text(), "5057");
    sim().root().remove_file(marker);
    EXPECT_EQ(GetNameOfModule(slot), 4057);
}

TEST_F(ModuleId, EmptyRowIs4000InBothSeries)
{
    put(0x50);
    EXPECT_EQ(GetNameOfModule(slot), 4000);
    sim().root().write_file(marker, "");
    EXPECT_EQ(GetNameOfModule(slot), 4000);
    EXPECT_EQ(GetModuleType(slot), 0);
}

TEST_F(ModuleId, FailedIdReadIsAnEmptySlot)
{
    put(0x0d);
    controller.set_failing(slot, true);
    EXPECT_EQ(GetNameOfModule(slot), 4000);
    EXPECT_EQ(GetModuleType(slot), 0);
    EXPECT_EQ(text(), "4000");
}

TEST_F(ModuleId, PlainModelTextClearsTheFirstTenBytes)
{
    put(0x0e);
    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    GetExactlyNameOfModule(slot, buf);
    EXPECT_STREQ(buf, "4053");
    for (int i = 4; i < 10; ++i)
        EXPECT_EQ(buf[i], 0) << i;
    EXPECT_EQ(buf[10], 'x');               // nothing beyond the ten bytes is touched
    GetExactlyNameOfModule(slot, nullptr); // no buffer: nothing happens
}

struct VariantCase {
    uint8_t id;
    uint32_t reg;
    uint32_t value;
    const char *text;
};

TEST_F(ModuleId, VariantRulesReadTheirRegister)
{
    const VariantCase cases[] = {
        {0x35, 8, 0x01, "4031H"}, {0x35, 8, 0x02, "4031HW"}, {0x35, 8, 0x03, "4031"},
        {0x1f, 4, 0x01, "4057P"}, {0x1f, 4, 0x02, "4059"},   {0x1f, 4, 0x00, "4057"},
        {0x42, 8, 0x10, "4081F"}, {0x42, 8, 0x20, "8080"},   {0x42, 8, 0x30, "4080"},
    };
    for (const VariantCase &c : cases) {
        put(c.id);
        controller.device(slot).set(c.reg, c.value);
        sim().clear();
        EXPECT_EQ(text(), c.text);
        ASSERT_EQ(sim().trace.size(), 2u); // the ID, then the variant register
        EXPECT_EQ(sim().trace[1].sent[6], c.reg);
    }
}

TEST_F(ModuleId, FailedVariantReadCountsAsZero)
{
    put(0x35);
    controller.device(slot).set(8, 0x01);
    EXPECT_EQ(text(), "4031H");
    // Only the variant register read fails: it reads 0, which no pair names.
    controller.device(slot).fail_register(8);
    EXPECT_EQ(text(), "4031");
    ASSERT_EQ(sim().trace.size(), 4u);
    EXPECT_NE(sim().trace[3].error, 0);
}

TEST_F(ModuleId, VariantsOnlyApplyToTheirSeries)
{
    put(0x35);
    controller.device(slot).set(8, 0x02);
    sim().root().write_file(marker, "");
    EXPECT_EQ(text(), "5031");
}

TEST(Catalogue, TablesAreConsistent)
{
    ASSERT_EQ(cat::IdTable.size(), 116u);
    ASSERT_EQ(cat::InvTable.size(), 104u);
    int named = 0, empty = 0;
    for (const cat::IdRow &row : cat::IdTable) {
        if (row.model == cat::empty_model) {
            EXPECT_EQ(row.type, cat::no_type);
            ++empty;
        } else {
            EXPECT_LE(row.model, 254u);
            EXPECT_GE(row.type, 1u);
            EXPECT_LE(row.type, 254u);
            ++named;
        }
    }
    EXPECT_EQ(named, 71);
    EXPECT_EQ(empty, 45);
    EXPECT_EQ(cat::IdTable[0].model, cat::empty_model); // a failed ID read is an empty slot

    int entries = 0;
    bool width0 = false, width3 = false;
    for (size_t id = 0; id < cat::InvTable.size(); ++id) {
        const cat::InvEntry &e = cat::InvTable[id];
        if (e.model == cat::no_entry) {
            EXPECT_EQ(e.format, 0u) << id;
            continue;
        }
        ++entries;
        EXPECT_EQ(e.model, cat::IdTable[id].model) << id;
        const uint32_t type = cat::IdTable[id].type;
        EXPECT_TRUE(type == cat::digital_input || type == cat::digital_io) << id;
        width0 = width0 || (e.format & 0x0f) == 0;
        width3 = width3 || (e.format & 0x0f) == 3;
    }
    EXPECT_EQ(entries, 27);
    EXPECT_TRUE(width0 && width3);

    // Fixed by the encoder and motion drivers.
    EXPECT_EQ(cat::IdTable[13].model, 52u);
    EXPECT_EQ(cat::IdTable[14].model, 53u);
    for (const cat::VariantRule &rule : cat::variant_rules) {
        EXPECT_TRUE(rule.reg == 4 || rule.reg == 8);
        for (const cat::Variant &v : rule.variants)
            EXPECT_LE(std::snprintf(nullptr, 0, "%d%s", v.number, v.suffix),
                      cat::longest_model_text);
    }
}

} // namespace
