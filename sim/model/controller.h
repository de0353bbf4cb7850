// The simulated controller: eleven slot devices (0 controller, 1-8 modules,
// 9 backplane, 10 interrupt device) behind the slot driver's requests.
#pragma once

#include "board.h"
#include "device.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace pacsim {

inline constexpr int slot_count = 11;

class Controller {
  public:
    Controller();
    // Devices report to the controller by address: it stays where it is.
    Controller(const Controller &) = delete;
    Controller &operator=(const Controller &) = delete;

    Board board;

    // Slot devices. A missing device cannot be opened; a failing one opens
    // but refuses every request.
    Device &device(int slot) { return *devices_.at(slot); }
    void install(int slot, std::unique_ptr<Device> device);
    void set_missing(int slot, bool missing) { faults_.at(slot).missing = missing; }
    void set_failing(int slot, bool failing) { faults_.at(slot).failing = failing; }
    bool present(int slot) const { return valid(slot) && !faults_[slot].missing; }

    // Opening a slot device: 0, or an errno value.
    int open(int slot) const;

    // One slot-driver request; `words` holds the record (8 words, or 38 for
    // SLOT_GET_STATUS) and is answered in place. 0, or an errno value.
    int request(int slot, uint32_t code, std::span<uint32_t> words);

    // Fires a slot's interrupt line: the process registered for the slot
    // gets its signal. Returns false when nobody is registered.
    bool raise_interrupt(int slot);

    // What the devices report for a trace ("frame rejected: ..."), with the
    // slot they sit in; nothing happens to the notes unless someone listens.
    std::function<void(int slot, const std::string &text)> log;
    void note(int slot, const std::string &text) const
    {
        if (log)
            log(slot, text);
    }

    // How signals leave the model; kill(2) unless a test replaces it.
    std::function<void(int pid, int signo)> send_signal;

    uint32_t selected_mask() const { return selected_; }

    // The clock of every device (real time unless a test sets its own).
    void set_clock(const Clock &clock);
    void use_real_clock() { set_clock(real_clock_); }
    const Clock &clock() const { return *clock_; }

    static bool valid(int slot) { return slot >= 0 && slot < slot_count; }

  private:
    struct Faults {
        bool missing = false;
        bool failing = false;
    };
    struct Registration {
        int pid = 0;
        int signo = 0;
    };
    std::array<std::unique_ptr<Device>, slot_count> devices_;
    std::array<Faults, slot_count> faults_{};
    std::array<Registration, slot_count> signals_{};
    uint32_t selected_ = 0;
    RealClock real_clock_;
    const Clock *clock_ = &real_clock_;
};

} // namespace pacsim
