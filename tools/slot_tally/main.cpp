// slot_tally: prints the number of I/O slots of the backplane.
#include "slotio.h"

#include <cstdio>

int main()
{
    constexpr int backplane = 9;
    if (Open_Slot(backplane) > 0) {
        std::puts("open Slot failed!");
        return -1;
    }
    std::printf("%d", GetSlotCount());
    Close_Slot(backplane);
    return 0;
}
