#include "device.h"

namespace pacsim {

const RealClock Device::real_clock;

uint32_t Device::read(uint32_t reg) const
{
    const auto it = regs_.find(reg);
    return it == regs_.end() ? 0 : it->second;
}

void Device::write(uint32_t reg, uint32_t value) { regs_[reg] = value & 0xff; }

int Device::other_request(uint32_t, std::span<uint32_t>) { return -1; }

} // namespace pacsim
