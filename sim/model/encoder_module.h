// The three-axis encoder module (ID 13): three 16-bit up/down counters.
//
// Registers 0, 1 and 2 written are the control bytes of axes 1, 2 and 3:
// bits 3-7 the counting mode (kept, not interpreted), bit 2 the counter
// reset, active low (while it is 0 the counter is held at 0), bits 0-1 the
// byte that the count register shows (bit 0 clear: the low byte, set: the
// high byte). Registers 1, 2 and 3 read show the selected byte of the
// counters of axes 1, 2 and 3; register 4 reads the index inputs, a whole
// byte (the three axes in bits 0-2). Register 0 reads the ID byte.
//
// The counts and the index inputs are what the scenario or `pacsim set`
// make them; counts wrap modulo 65536 both ways.
#pragma once

#include "modules.h"

#include <array>
#include <cstdint>

namespace pacsim {

class EncoderModule : public Module {
  public:
    static constexpr uint8_t encoder_id = 13;
    static constexpr int axes = 3;
    static constexpr uint8_t reset_released = 0x04; // control bit 2, the reset (active low)
    static constexpr uint8_t high_byte = 0x01;      // control bit 0, the byte selection
    // At power-up: reset released, the high byte selected, mode 0.
    static constexpr uint8_t power_up_control = 0x07;

    explicit EncoderModule(uint8_t id = encoder_id) : Module(id) {}

    uint32_t read(uint32_t reg) const override;
    void write(uint32_t reg, uint32_t value) override;

    // Axes are 1 to 3; other axis numbers are ignored (and read 0).
    // A counter held in reset stays 0 whatever it is set to.
    void set_count(int axis, int64_t value);
    void move(int axis, int64_t delta);
    uint16_t count(int axis) const;
    uint8_t control(int axis) const;
    uint8_t mode(int axis) const { return control(axis) & 0xf8; }
    bool in_reset(int axis) const { return valid(axis) && !(control(axis) & reset_released); }

    void set_index(uint8_t bits) { index_ = bits; }
    uint8_t index() const { return index_; }

    static bool valid(int axis) { return axis >= 1 && axis <= axes; }
    // A value taken modulo 65536 into 0..65535, negative values included.
    static uint16_t wrap(int64_t value) { return static_cast<uint16_t>(value & 0xffff); }

  private:
    std::array<uint16_t, axes> counts_{};
    std::array<uint8_t, axes> control_{power_up_control, power_up_control, power_up_control};
    uint8_t index_ = 0;
};

} // namespace pacsim
