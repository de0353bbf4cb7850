// Board identification through the real shell pipelines on simulated
// /proc/cpuinfo texts, the identification cache, and the slot count.
#include "support/sim_fixture.h"

#include <filesystem>

using namespace slotio_test;

namespace {

const std::string r3600_probe =
    "cat /proc/cpuinfo | grep R3600 | head -1 | awk -F\" \" '{printf $5}'";
const std::string e38_probe =
    "cat /proc/cpuinfo | grep E38 | head -1 | awk -F\" \" '{printf $7}' | cut -c1-3";
const std::string geode_probe = "cat /proc/cpuinfo | grep Geode | awk -F\" \" '{printf $4}'";
const std::string z520_probe =
    "cat /proc/cpuinfo | grep Z520 | head -1 | awk -F\" \" '{printf $7}'";
const std::string pci_probe = "lspci -n | grep e159 >> /dev/null 2>&1";

const std::vector<std::string> pci_with_e159 = {"00:00.0 0600: 17f3:6025 (rev 01)",
                                                "01:00.0 0780: 17f3:e159 (rev 01)"};
const std::vector<std::string> pci_without = {"00:00.0 0600: 17f3:6025 (rev 01)"};

struct BoardCase {
    const char *cpu;
    std::vector<std::string> pci;
    int platform;
    std::vector<std::string> commands;
};

class Platform : public SimTest {
  protected:
    void board(const std::string &cpu_text, const std::vector<std::string> &pci = {})
    {
        controller.board.cpuinfo = cpu_text;
        controller.board.pci = pci;
        start();
    }
};

TEST_F(Platform, IdentifiesEachBoardWithTheProbesInOrder)
{
    const BoardCase cases[] = {
        {"r3600", pci_with_e159, 3, {r3600_probe, pci_probe}},
        {"r3600", pci_without, 5, {r3600_probe, pci_probe}},
        {"e38", {}, 4, {r3600_probe, e38_probe}},
        {"geode", {}, 1, {r3600_probe, e38_probe, geode_probe}},
        {"z520", {}, 2, {r3600_probe, e38_probe, geode_probe, z520_probe}},
    };
    for (const BoardCase &c : cases) {
        SCOPED_TRACE(std::string(c.cpu) + " platform " + std::to_string(c.platform));
        TearDown();
        SetUp();
        board(cpuinfo(c.cpu), c.pci);
        EXPECT_EQ(GetPlatform(), c.platform);
        EXPECT_EQ(sim().commands, c.commands);
        // Cached: the second call runs no command.
        sim().clear();
        EXPECT_EQ(GetPlatform(), c.platform);
        EXPECT_TRUE(sim().commands.empty());
    }
}

TEST_F(Platform, PciProbeOutputGoesToTheNullDeviceNotToAFile)
{
    board(cpuinfo("r3600"), pci_with_e159);
    ASSERT_EQ(GetPlatform(), 3);
    EXPECT_FALSE(std::filesystem::exists(sim().root().path() + "/dev/NULL"));
    EXPECT_FALSE(std::filesystem::exists("/dev/NULL"));
}

TEST_F(Platform, E38FieldLongerThanThreeCharactersStillMatches)
{
    board("processor\t: 0\nmodel name\t: Intel(R) Atom(TM) CPU E3845-rev-B extra text\n");
    EXPECT_EQ(GetPlatform(), 4);
}

TEST_F(Platform, UnknownCpuIsNotCachedAndIsProbedAgain)
{
    board("processor\t: 0\nmodel name\t: Pentium(R) Dual-Core CPU E5300 @ 2.60GHz\n");
    EXPECT_EQ(GetPlatform(), 100);
    EXPECT_EQ(sim().commands.size(), 4u);
    sim().clear();
    EXPECT_EQ(GetPlatform(), 100);
    EXPECT_EQ(sim().commands.size(), 4u);
    EXPECT_EQ(slotio::Platform_val, -1);
}

TEST_F(Platform, EmptyCpuinfoMatchesNothing)
{
    board("");
    EXPECT_EQ(GetPlatform(), 100);
}

TEST_F(Platform, ProbeThatCannotStartReportsAndReturnsZeroUncached)
{
    board(cpuinfo("geode"));
    sim().commands_fail = true;
    testing::internal::CaptureStdout();
    EXPECT_EQ(GetPlatform(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "popen() error!\n");
    EXPECT_EQ(sim().commands.size(), 1u); // stops at the first probe
    sim().commands_fail = false;
    EXPECT_EQ(GetPlatform(), 1);
}

struct SlotCountCase {
    const char *cpu;
    std::vector<std::string> pci;
    uint32_t reg;
    uint32_t raw;
    int slots;
};

TEST_F(Platform, SlotCountMapsTheBackplaneRegisterPerPlatform)
{
    const SlotCountCase cases[] = {
        // Platforms 1 and 2: register 35, whole value.
        {"geode", {}, 35, 0, 0},
        {"geode", {}, 35, 1, 1},
        {"geode", {}, 35, 2, 8},
        {"geode", {}, 35, 4, 4},
        {"geode", {}, 35, 7, 8},
        {"geode", {}, 35, 0x100, 8},
        {"z520", {}, 35, 4, 4},
        {"z520", {}, 35, 1, 1},
        // Platforms 3 and 4: register 101, bits 4 and up.
        {"r3600", pci_with_e159, 101, 0x6f, 4},
        {"r3600", pci_with_e159, 101, 0x4a, 2},
        {"r3600", pci_with_e159, 101, 0x0f, 0},
        {"r3600", pci_with_e159, 101, 0x50, 8},
        {"r3600", pci_with_e159, 101, 0x40, 2},
        {"e38", {}, 101, 0x7a, 8},
        {"e38", {}, 101, 0x60, 4},
        {"e38", {}, 101, 0x406, 8}, // raw >> 4 is 0x40: not one of the known codes
    };
    for (const SlotCountCase &c : cases) {
        SCOPED_TRACE(std::string(c.cpu) + " raw " + std::to_string(c.raw));
        TearDown();
        SetUp();
        controller.device(9).set(c.reg, c.raw);
        board(cpuinfo(c.cpu), c.pci);
        ASSERT_EQ(Open_Slot(9), 0);
        sim().clear();
        EXPECT_EQ(GetSlotCount(), c.slots);
        ASSERT_EQ(sim().trace.size(), 1u);
        EXPECT_EQ(sim().trace[0].slot, 9);
        EXPECT_EQ(sim().trace[0].code, SLOT_READ_REG);
        EXPECT_EQ(sim().trace[0].sent[6], c.reg);
    }
}

TEST_F(Platform, SlotCountWithAFailedReadCountsAsZero)
{
    controller.device(9).set(35, 7);
    board(cpuinfo("geode"));
    EXPECT_EQ(GetSlotCount(), 0); // slot 9 not open
}

TEST_F(Platform, SlotCountOnABoardWithoutTheRegisterPrintsTheMessage)
{
    board(cpuinfo("r3600"), pci_without);
    ASSERT_EQ(Open_Slot(9), 0);
    sim().clear();
    testing::internal::CaptureStdout();
    EXPECT_EQ(GetSlotCount(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "API GetSlotCount() not support currently Norvik\n");
    EXPECT_TRUE(sim().trace.empty());
}

TEST_F(Platform, VersionText) { EXPECT_STREQ(GetSDKversion(), "0.8.12"); }

} // namespace
