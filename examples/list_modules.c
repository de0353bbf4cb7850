/* Lists the modules of a controller by model number and text, shows the
 * inputs of the input modules, and toggles output 0 of the first output
 * module.
 *
 *   build/bin/pacsim run examples/geode.toml -- build/examples/list_modules
 */
#include "slotio.h"

#include <stdio.h>

static const char *kind(int type)
{
    switch (type) {
    case 0: return "empty";
    case 1: return "digital input";
    case 2: return "digital output";
    case 3: return "digital input/output";
    case 4: return "relay output";
    case 5: return "analog input";
    case 6: return "analog output";
    case 7: return "encoder";
    case 8: return "motion";
    case 9: return "slot test fixture";
    case 10: return "counter";
    default: return "unknown";
    }
}

static int is_output(int type) { return type == 2 || type == 3 || type == 4; }
static int is_input(int type) { return type == 1 || type == 3; }

int main(void)
{
    int slots, slot, output_slot = 0;

    if (Open_Slot(9) != 0) {
        puts("open Slot failed!");
        return 1;
    }
    slots = GetSlotCount();
    printf("%d module slots\n", slots);
    for (slot = 1; slot <= slots && slot <= 8; ++slot) {
        char text[16];
        int type;
        if (Open_Slot(slot) != 0) {
            printf("slot %d: cannot open /dev/slot%d\n", slot, slot);
            continue;
        }
        type = GetModuleType(slot);
        GetExactlyNameOfModule(slot, text);
        printf("slot %d: %d %-7s %s", slot, GetNameOfModule(slot), text, kind(type));
        if (is_input(type))
            printf(", inputs 0x%lx", ReadDI(slot));
        printf("\n");
        if (!output_slot && is_output(type))
            output_slot = slot;
    }
    if (output_slot) {
        printf("slot %d output 0: %d", output_slot, DO_8_RB(output_slot) & 1);
        DO_8_BW(output_slot, 0, 1);
        printf(" -> %d", DO_8_RB(output_slot) & 1);
        DO_8_BW(output_slot, 0, 0);
        printf(" -> %d\n", DO_8_RB(output_slot) & 1);
    }
    for (slot = 1; slot <= 8; ++slot)
        Close_Slot(slot);
    Close_Slot(9);
    return 0;
}
