#include "encoder_module.h"

namespace pacsim {

uint32_t EncoderModule::read(uint32_t reg) const
{
    if (reg >= 1 && reg <= axes) {
        const int axis = static_cast<int>(reg);
        const uint16_t c = count(axis);
        return (control(axis) & high_byte) ? c >> 8 : c & 0xff;
    }
    if (reg == axes + 1)
        return index_;
    return Module::read(reg);
}

void EncoderModule::write(uint32_t reg, uint32_t value)
{
    if (reg >= axes) {
        Module::write(reg, value);
        return;
    }
    control_[reg] = static_cast<uint8_t>(value);
    if (!(control_[reg] & reset_released))
        counts_[reg] = 0;
}

void EncoderModule::set_count(int axis, int64_t value)
{
    if (valid(axis) && !in_reset(axis))
        counts_[axis - 1] = wrap(value);
}

void EncoderModule::move(int axis, int64_t delta)
{
    if (valid(axis))
        set_count(axis, int64_t(counts_[axis - 1]) + wrap(delta));
}

uint16_t EncoderModule::count(int axis) const { return valid(axis) ? counts_[axis - 1] : 0; }

uint8_t EncoderModule::control(int axis) const { return valid(axis) ? control_[axis - 1] : 0; }

} // namespace pacsim
