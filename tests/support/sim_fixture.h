// A controller model behind the library's seam, with the library's
// process-wide state put back to a fresh process's before and after.
#pragma once

#include "motion/motion_state.h"
#include "os/os.h"
#include "sim/inproc/inproc.h"
#include "slot/platform.h"
#include "slot/slot_table.h"

#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace slotio_test {

inline std::string read_file(const std::string &path)
{
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// cpuinfo text of one of the example boards ("geode", "e38", ...).
inline std::string cpuinfo(const std::string &board)
{
    return read_file(std::string(SLOTIO_EXAMPLES_DIR) + "/cpuinfo/" + board + ".txt");
}

inline void reset_library_state()
{
    for (int &fd : slotio::slot_fd)
        fd = slotio::not_open;
    slotio::Platform_val = -1;
}

class SimTest : public ::testing::Test {
  protected:
    pacsim::Controller controller;

    // Creates the simulated root from `controller.board`; call after setting
    // the board.
    pacsim::InProcess &start()
    {
        sim_ = std::make_unique<pacsim::InProcess>(controller);
        return *sim_;
    }
    pacsim::InProcess &sim() { return *sim_; }

    void SetUp() override { reset_library_state(); }
    void TearDown() override
    {
        reset_library_state();
        sim_.reset();
    }

  private:
    std::unique_ptr<pacsim::InProcess> sim_;
};

} // namespace slotio_test

namespace slotio_test {

// A module of type M in slot `Slot`, opened, with the motion and encoder
// drivers' process-wide state fresh before and after.
template <typename M, int Slot> class ModuleSlotTest : public SimTest {
  protected:
    static constexpr int card_no = Slot;
    M *module = nullptr;

    void SetUp() override
    {
        SimTest::SetUp();
        slotio::motion::reset_state();
        auto m = std::make_unique<M>();
        module = m.get();
        controller.install(card_no, std::move(m));
        start();
        ASSERT_EQ(Open_Slot(card_no), 0);
    }
    void TearDown() override
    {
        slotio::motion::reset_state();
        SimTest::TearDown();
    }
};

} // namespace slotio_test
