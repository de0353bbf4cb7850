// The example application programs, run under pacsim.
#include "support/process.h"

#include <gtest/gtest.h>

using namespace slotio_test;

namespace {

const std::string list_modules = std::string(EXAMPLES_BIN_DIR) + "/list_modules";

TEST(Examples, ListModulesOnTheGeodeController)
{
    const Outcome o = under_pacsim(examples("geode.toml"), {list_modules});
    EXPECT_EQ(o.out, "8 module slots\n"
                     "slot 1: 4057 4057    digital output\n"
                     "slot 2: 4051 4051    digital input, inputs 0xf0\n"
                     "slot 3: 4042 4042    digital input, inputs 0x5\n"
                     "slot 4: 4050 4050    digital input/output, inputs 0x1234\n"
                     "slot 5: 4065 4065    digital output\n"
                     "slot 6: 4058 4058    digital input, inputs 0xdeadbeef\n"
                     "slot 7: 4031 4031H   analog input\n"
                     "slot 8: 4052 4052    encoder\n"
                     "slot 1 output 0: 0 -> 1 -> 0\n");
    EXPECT_EQ(o.status, 0) << o.err;
}

TEST(Examples, MarkerFileAddedWhilePacsimRunsSelectsThe5000Series)
{
    const Outcome o = under_pacsim(
        examples("geode.toml"),
        {"/bin/sh", "-c", "touch \"$PACSIM_ROOT/usr/local/etc/ostrel/5000-PAC\" && exec \"$0\"",
         list_modules});
    EXPECT_NE(o.out.find("slot 1: 5057 5057    digital output\n"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("slot 7: 5031 5031    analog input\n"), std::string::npos) << o.out;
    EXPECT_EQ(o.status, 0) << o.err;
}

TEST(Examples, ListModulesWithoutPacsim)
{
    const Outcome o = run_program({list_modules}, {no_pacsim_socket()});
    EXPECT_EQ(o.out, "open Slot failed!\n");
    EXPECT_EQ(o.status, 1);
}

} // namespace

namespace {

TEST(Examples, MotionDemoDrawsItsThreePathsToTheEnd)
{
    const std::string dir = testing::TempDir();
    const std::string svg = dir + "/motion_path.svg", trace = dir + "/motion_trace.txt";
    const Outcome o =
        under_pacsim(examples("motion.toml"), {std::string(EXAMPLES_BIN_DIR) + "/motion_demo"},
                     {"--trace", trace, "--svg", svg});
    EXPECT_EQ(o.out, "line to (4000, 1500)\n"
                     "circle around (0, -1200), counter-clockwise\n"
                     "arc to (-2000, 1000), radius 1500, clockwise\n"
                     "done\n");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.err.find("slot 1: end position (2000, 2500) after 283 segments\n"),
              std::string::npos)
        << o.err;
    const std::string picture = file_text(svg);
    EXPECT_TRUE(picture.starts_with("<?xml")) << picture.substr(0, 100);
    EXPECT_NE(picture.find("<polyline"), std::string::npos);
    // Every frame was accepted and no byte was lost.
    const std::string log = file_text(trace);
    EXPECT_EQ(log.find("rejected"), std::string::npos);
    EXPECT_EQ(log.find("FIFO full"), std::string::npos);
    EXPECT_NE(log.find("slot 1 SLOT_WRITE_REG reg=1 value=0x10"), std::string::npos);
}

TEST(Examples, MotionDemoWithoutAMotionModule)
{
    const Outcome o =
        under_pacsim(examples("geode.toml"), {std::string(EXAMPLES_BIN_DIR) + "/motion_demo"});
    EXPECT_EQ(o.out, "slot 1 holds no motion module\n");
    EXPECT_EQ(o.status, 1);
}

} // namespace
