// Open_SlotAll. The mram tool links a build of this file with
// SLOTIO_OPEN_ALL_NONBLOCK defined: it opens the nine devices non-blocking.
#include "slot_table.h"

#include <fcntl.h>

namespace {
#ifdef SLOTIO_OPEN_ALL_NONBLOCK
constexpr int open_all_flags = O_RDWR | O_NONBLOCK;
#else
constexpr int open_all_flags = O_RDWR;
#endif
} // namespace

extern "C" int Open_SlotAll(void)
{
    for (int slot = 0; slot <= 8; ++slot)
        if (slotio::detail::open_slot(slot, open_all_flags) != 0)
            return 2;
    return 0;
}
