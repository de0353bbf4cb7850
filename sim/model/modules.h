// I/O modules in the module slots 1 to 8.
#pragma once

#include "device.h"

#include <array>
#include <cstdint>
#include <memory>

namespace pacsim {

// Any module: answers its ID byte in register 0; other registers hold what
// the scenario or a test put there (the variant registers 4 and 8, say).
class Module : public Device {
  public:
    explicit Module(uint8_t id) : id_(id) {}
    uint8_t id() const { return id_; }
    uint32_t read(uint32_t reg) const override { return reg == 0 ? id_ : Device::read(reg); }

  private:
    uint8_t id_;
};

// A digital input, output or input/output module. Outputs written to
// registers 0-3 are latched and answered to SLOT_READBACK_DO; inputs show in
// registers 1-4 as electrical levels, so the inputs of a module with inverted
// (sinking) inputs read as the complement of the active ones.
class DigitalModule : public Module {
  public:
    explicit DigitalModule(uint8_t id);

    int input_width() const { return input_width_; }   // 0 without inputs
    int output_width() const { return output_width_; } // 0 without outputs
    bool inverted() const { return inverted_; }

    // Which inputs are active (bit n: input n).
    void set_inputs(uint32_t active) { active_ = active; }
    uint32_t inputs() const { return active_; }
    uint32_t outputs() const;

    uint32_t read(uint32_t reg) const override;
    void write(uint32_t reg, uint32_t value) override;
    int other_request(uint32_t code, std::span<uint32_t> words) override;

  private:
    int input_width_ = 0;
    int output_width_ = 0;
    bool inverted_ = false;
    uint32_t active_ = 0;
    std::array<uint8_t, 4> outputs_{};
};

// The model for an ID byte of the catalogue.
std::unique_ptr<Module> make_module(uint8_t id);

// The first ID byte whose catalogue row names a model number (4000 or 5000
// series, e.g. 4057), or -1.
int id_for_model_number(int model_number);

} // namespace pacsim
