// A slot device of the simulated controller: a window of registers.
#pragma once

#include "clock.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string>

namespace pacsim {

// Positions of the request record's words in a request's word span.
inline constexpr size_t word_signo = 0, word_value = 1, word_aux = 2, word_spare = 3, word_hi = 4,
                        word_lo = 5, word_reg = 6, word_wdt_sel = 7;

class Device {
  public:
    virtual ~Device() = default;

    // The controller's clock; set when the device is installed in a slot.
    void set_clock(const Clock &clock) { clock_ = &clock; }
    const Clock &clock() const { return *clock_; }

    // Where the device reports what a trace should show (a rejected command
    // frame, a byte lost to a full FIFO); set when the device is installed.
    void set_notes(std::function<void(const std::string &)> notes) { notes_ = std::move(notes); }

    // Register access as the slot driver performs it.
    virtual uint32_t read(uint32_t reg) const;
    virtual void write(uint32_t reg, uint32_t value);
    virtual uint32_t read16(uint32_t reg) const { return read(reg) & 0xffff; }
    virtual void write16(uint32_t reg, uint32_t value) { regs_[reg] = value & 0xffff; }

    // Requests other than register access, slot selection and signal
    // registration. Returns 0, or -1 for a request this device does not know.
    virtual int other_request(uint32_t code, std::span<uint32_t> words);

    // Fault: every request on this register fails (reads, writes, read-back).
    void fail_register(uint32_t reg, bool fail = true)
    {
        if (fail)
            failing_regs_.insert(reg);
        else
            failing_regs_.erase(reg);
    }
    bool register_fails(uint32_t reg) const { return failing_regs_.count(reg) != 0; }

    // Sets a register as the hardware would show it (scenario, tests).
    void set(uint32_t reg, uint32_t value) { regs_[reg] = value; }
    uint32_t get(uint32_t reg) const { return read(reg); }

  protected:
    void note(const std::string &text) const
    {
        if (notes_)
            notes_(text);
    }

    static const RealClock real_clock;
    const Clock *clock_ = &real_clock;
    std::map<uint32_t, uint32_t> regs_;
    std::set<uint32_t> failing_regs_;
    std::function<void(const std::string &)> notes_;
};

} // namespace pacsim
