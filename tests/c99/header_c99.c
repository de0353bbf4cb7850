/* A C99 application using the public header, built with every warning an
 * error, linked against the simulator flavour of the library. */
#include "slotio.h"

#include <stdio.h>

int main(void)
{
    SlotRequest request = {0};
    SlotStatusRecord status = {{0}};
    unsigned long code = SLOT_READ_REG16;

    (void)request;
    (void)status;
    (void)code;
    if (Open_Slot(9) != 0) {
        puts("open Slot failed!");
        return 1;
    }
    printf("slots %d, platform %d, version %s\n", GetSlotCount(), GetPlatform(), GetSDKversion());
    printf("register 35 reads %u\n", (unsigned)inb(9, 35));
    Close_Slot(9);
    return 0;
}
