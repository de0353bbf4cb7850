// The request record layout and the request codes are fixed by the kernel
// driver; these checks keep the header honest.
#include "slotio.h"

#include <cstddef>

namespace {

constexpr unsigned long ior_w(unsigned nr)
{
    return (2ul << 30) | (8ul << 16) | (0x57ul << 8) | nr;
}

static_assert(sizeof(SlotRequest) == 32);
static_assert(offsetof(SlotRequest, signo) == 0);
static_assert(offsetof(SlotRequest, value) == 4);
static_assert(offsetof(SlotRequest, aux) == 8);
static_assert(offsetof(SlotRequest, spare) == 12);
static_assert(offsetof(SlotRequest, hi) == 16);
static_assert(offsetof(SlotRequest, lo) == 20);
static_assert(offsetof(SlotRequest, reg) == 24);
static_assert(offsetof(SlotRequest, wdt_sel) == 28);
static_assert(sizeof(SlotStatusRecord) == 152);
static_assert(offsetof(SlotStatusRecord, word) + 9 * 4 == 36);

static_assert(SLOT_GET_STATUS == ior_w(0) && SLOT_GET_STATUS == 0x80085700u);
static_assert(SLOT_SET_SIGNAL == ior_w(1));
static_assert(SLOT_READ_REG == ior_w(2));
static_assert(SLOT_WRITE_REG == ior_w(3));
static_assert(SLOT_SELECT == ior_w(4));
static_assert(SLOT_READ_EEP == ior_w(5));
static_assert(SLOT_WRITE_EEP == ior_w(6));
static_assert(SLOT_EEP_WRITE_ENABLE == ior_w(7));
static_assert(SLOT_EEP_WRITE_DISABLE == ior_w(8));
static_assert(SLOT_FETCH_ID == ior_w(9));
static_assert(SLOT_READ_SRAM == ior_w(26));
static_assert(SLOT_WRITE_SRAM == ior_w(27));
static_assert(SLOT_WDT_ENABLE == ior_w(28));
static_assert(SLOT_WDT_DISABLE == ior_w(29));
static_assert(SLOT_WDT_GET_EVENT == ior_w(30));
static_assert(SLOT_WDT_CLEAR_EVENT == ior_w(31));
static_assert(SLOT_TIMER_ENABLE == ior_w(32));
static_assert(SLOT_TIMER_DISABLE == ior_w(33));
static_assert(SLOT_READBACK_DO == ior_w(34));
static_assert(SLOT_SET_LED == ior_w(36));
static_assert(SLOT_GET_ATOM_ROTARY == ior_w(41));
static_assert(SLOT_SET_ATOM_LED == ior_w(42));
static_assert(SLOT_READ_REG16 == ior_w(43) && SLOT_READ_REG16 == 0x8008572bu);
static_assert(SLOT_WRITE_REG16 == ior_w(44));

} // namespace
