// Opening and closing slot devices, register access, slot selection and
// signal registration.
#include "slot_table.h"

#include <cstdio>
#include <fcntl.h>

namespace slotio {

std::array<int, slot_count> slot_fd = [] {
    std::array<int, slot_count> t{};
    t.fill(not_open);
    return t;
}();

namespace detail {

int open_slot(int slot, int flags)
{
    if (!valid_slot(slot))
        return 2;
    char path[32];
    std::snprintf(path, sizeof path, "/dev/slot%d", slot);
    const int fd = os::open(path, flags);
    slot_fd[slot] = fd < 0 ? not_open : fd;
    return fd < 0 ? 2 : 0;
}

} // namespace detail
} // namespace slotio

using namespace slotio;

extern "C" {

int Open_Slot(int slot) { return detail::open_slot(slot, O_RDWR); }

void Close_Slot(int slot)
{
    if (!valid_slot(slot) || slot_fd[slot] == not_open)
        return;
    os::close(slot_fd[slot]);
    slot_fd[slot] = not_open;
}

void Close_SlotAll(void)
{
    for (int slot = 0; slot <= 8; ++slot)
        Close_Slot(slot);
}

unsigned char inb(int slot, int reg)
{
    return static_cast<unsigned char>(detail::read_value(slot, SLOT_READ_REG, reg));
}

void outb(int slot, int reg, unsigned char value)
{
    detail::write_value(slot, SLOT_WRITE_REG, reg, value);
}

unsigned short inw(int slot, int reg)
{
    return static_cast<unsigned short>(detail::read_value(slot, SLOT_READ_REG16, reg));
}

void outw(int slot, int reg, unsigned short value)
{
    detail::write_value(slot, SLOT_WRITE_REG16, reg, value);
}

void ChangeToSlot(int slot)
{
    if (!valid_slot(slot))
        return;
    detail::write_value(0, SLOT_SELECT, 0, 1u << slot);
}

int setSignal(int slot, int signo, int pid)
{
    SlotRequest r{};
    r.signo = static_cast<uint32_t>(signo);
    r.value = static_cast<uint32_t>(pid);
    r.hi = 1;
    r.reg = 1;
    if (detail::request(slot, SLOT_SET_SIGNAL, &r) != 0) {
        std::puts("FAILURE?");
        return -1;
    }
    return 0;
}

} // extern "C"
