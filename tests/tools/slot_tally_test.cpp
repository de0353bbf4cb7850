// slot_tally as a whole program on the simulated controllers.
#include "support/process.h"

#include <gtest/gtest.h>

using namespace slotio_test;

namespace {

const std::string slot_tally = std::string(SIM_BIN_DIR) + "/slot_tally";
std::string scenario(const std::string &name)
{
    return std::string(TEST_SCENARIO_DIR) + "/" + name;
}

struct TallyCase {
    std::string scenario;
    std::string out;
};

TEST(SlotTally, PrintsTheSlotCountOfEachBoard)
{
    const TallyCase cases[] = {
        {examples("geode.toml"), "8"},
        {examples("z520.toml"), "4"},
        {examples("r3600-pci.toml"), "4"},
        {examples("e38.toml"), "8"},
        {scenario("r3600-pci-two-slots.toml"), "2"},
        {examples("r3600.toml"), "API GetSlotCount() not support currently Norvik\n0"},
        {scenario("failing-backplane.toml"), "0"},
    };
    for (const TallyCase &c : cases) {
        const Outcome o = under_pacsim(c.scenario, {slot_tally});
        EXPECT_EQ(o.out, c.out) << c.scenario;
        EXPECT_EQ(o.status, 0) << c.scenario << "\n" << o.err;
    }
}

TEST(SlotTally, MissingBackplaneDevice)
{
    const Outcome o = under_pacsim(scenario("no-backplane.toml"), {slot_tally});
    EXPECT_EQ(o.out, "open Slot failed!\n");
    EXPECT_EQ(o.status, 255);
}

TEST(SlotTally, WithoutPacsimEverySlotIsMissing)
{
    const Outcome o = run_program({slot_tally}, {no_pacsim_socket()});
    EXPECT_EQ(o.out, "open Slot failed!\n");
    EXPECT_EQ(o.status, 255);
}

TEST(SlotTally, ArgumentsAreIgnored)
{
    const Outcome o = under_pacsim(examples("geode.toml"), {slot_tally, "-x", "extra"});
    EXPECT_EQ(o.out, "8");
    EXPECT_EQ(o.status, 0);
}

} // namespace
