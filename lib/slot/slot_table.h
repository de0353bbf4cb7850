// Process-wide slot descriptor table and the one request helper that every
// driver of the library uses to talk to the slot driver.
#pragma once

#include "../os/os.h"
#include "slotio.h"

#include <array>
#include <cstdint>

namespace slotio {

inline constexpr int slot_count = 11; // slots 0 to 10
inline constexpr int not_open = -1;

// One descriptor per slot; not_open while the slot is closed.
extern std::array<int, slot_count> slot_fd;

constexpr bool valid_slot(int slot) { return slot >= 0 && slot < slot_count; }

namespace detail {

// Sends one request on a slot. Returns 0 on success, nonzero on failure
// (including a slot number outside the table, which never reaches the driver).
inline int request(int slot, unsigned long code, void *record)
{
    if (!valid_slot(slot))
        return -1;
    return os::ioctl(slot_fd[slot], code, record);
}

// A read request that fills `reg` only; a failed request reads 0.
inline uint32_t read_value(int slot, unsigned long code, uint32_t reg)
{
    SlotRequest r{};
    r.reg = reg;
    return request(slot, code, &r) == 0 ? r.value : 0;
}

// A write request that fills `reg` and `value`; a failed one is dropped.
inline void write_value(int slot, unsigned long code, uint32_t reg, uint32_t value)
{
    SlotRequest r{};
    r.reg = reg;
    r.value = value;
    request(slot, code, &r);
}

// Opens "/dev/slot<slot>" with the given flags into slot_fd; 0 or 2.
int open_slot(int slot, int flags);

// Prints the unsupported-API message for the named service.
void unsupported(const char *service);

} // namespace detail
} // namespace slotio
