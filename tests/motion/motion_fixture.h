// A recording motion module for the driver's tests: it answers ID 14,
// records every byte written to the FIFO port and the FIFO reset register,
// and shows a status that the test scripts.
#pragma once

#include "motion/motion_state.h"
#include "sim/model/modules.h"
#include "support/sim_fixture.h"

#include <deque>
#include <functional>
#include <vector>

namespace slotio_test {

struct Frame {
    uint8_t code;
    std::array<uint8_t, 8> p;
    uint8_t seq;
};

class RecordingMotionModule : public pacsim::Module {
  public:
    RecordingMotionModule() : Module(slotio::motion_module_id) {}

    std::vector<uint8_t> fifo;   // bytes written to register 1
    std::vector<uint8_t> resets; // bytes written to register 2
    std::deque<uint8_t> script;  // status register values for the next reads
    uint8_t status = slotio::FIFO_READY | slotio::INTP_BUSY;
    uint8_t axis_status = 0;
    // Called with the number of bytes taken so far; its answer is the
    // status when set (used to make the FIFO fill after some frames).
    std::function<uint8_t(size_t)> status_fn;
    mutable int status_reads = 0;

    uint32_t read(uint32_t reg) const override
    {
        if (reg == 1) {
            ++status_reads;
            auto &self = const_cast<RecordingMotionModule &>(*this);
            if (!self.script.empty()) {
                const uint8_t s = self.script.front();
                self.script.pop_front();
                return s;
            }
            return status_fn ? status_fn(fifo.size()) : status;
        }
        if (reg == 2)
            return axis_status;
        return Module::read(reg);
    }
    void write(uint32_t reg, uint32_t value) override
    {
        if (reg == 1)
            fifo.push_back(static_cast<uint8_t>(value));
        else if (reg == 2)
            resets.push_back(static_cast<uint8_t>(value));
        else
            Module::write(reg, value);
    }

    // The frames in the FIFO bytes; every frame must be well formed (both
    // copies, the check byte and its complement, one sequence number).
    std::vector<Frame> frames() const
    {
        std::vector<Frame> out;
        EXPECT_EQ(fifo.size() % 28, 0u) << "partial frame";
        for (size_t at = 0; at + 28 <= fifo.size(); at += 28) {
            const uint8_t *a = &fifo[at], *b = &fifo[at + 14];
            uint8_t check = 0;
            for (int i = 3; i <= 11; ++i)
                check ^= a[i];
            EXPECT_TRUE(a[0] == 0 && a[1] == 0x55 && a[2] == 0xaa) << "frame at " << at;
            EXPECT_TRUE(b[0] == 0 && b[1] == 0x55 && b[2] == 0xaa) << "frame at " << at;
            EXPECT_EQ(a[12], check) << "frame at " << at;
            EXPECT_EQ(b[12], static_cast<uint8_t>(~check)) << "frame at " << at;
            EXPECT_TRUE(std::equal(a + 3, a + 12, b + 3)) << "frame at " << at;
            EXPECT_EQ(a[13], b[13]) << "frame at " << at;
            Frame f{a[3], {}, a[13]};
            std::copy(a + 4, a + 12, f.p.begin());
            out.push_back(f);
        }
        return out;
    }

    // The (dx, dy) of every segment frame (code 16), sign and magnitude decoded.
    std::vector<std::pair<int, int>> segments() const
    {
        std::vector<std::pair<int, int>> out;
        for (const Frame &f : frames()) {
            EXPECT_EQ(f.code, 16);
            auto field = [](uint8_t hi, uint8_t lo) {
                const int m = ((hi & 0x7f) << 8) | lo;
                return (hi & 0x80) ? -m : m;
            };
            out.emplace_back(field(f.p[0], f.p[1]), field(f.p[2], f.p[3]));
        }
        return out;
    }
};

class MotionTest : public ModuleSlotTest<RecordingMotionModule, 4> {
  protected:
    void registered()
    {
        ASSERT_EQ(I4053_REGISTRATION(card_no, 7), 1);
        module->fifo.clear();
        sim().clear();
    }
    // Pumps the pending path to its end (bounded); the number of passes.
    int pump()
    {
        int passes = 0;
        while (I4053_INTP_STOP() && passes < 100000)
            ++passes;
        return passes;
    }
};

} // namespace slotio_test
