/* Asks the remote module at address 00 on COM port 1 for its name, once
 * without and once with a checksum, and prints each reply and the time the
 * exchange took.
 *
 *   build/bin/pacsim run examples/serial.toml -- build/examples/com_name
 *
 * The optional argument is the module's two-digit address (00 if none).
 */
#include "slotio.h"

#include <stdio.h>
#include <string.h>

static const char *meaning(unsigned short code)
{
    switch (code) {
    case 0: return "ok";
    case 1: return "failed";
    case 2: return "no such port";
    case 15: return "no answer";
    default: return "unexpected result";
    }
}

static void ask(const char *command, unsigned short checksum)
{
    char reply[251];
    unsigned short elapsed_us = 0;
    /* Time-out 5 tenths of a second. */
    const unsigned short r = Send_Receive_Cmd(1, command, reply, 5, checksum, &elapsed_us);
    printf("%s %s checksum: %s, reply \"%s\" after %u us\n", command, checksum ? "with" : "without",
           meaning(r), reply, elapsed_us);
}

int main(int argc, char **argv)
{
    char command[8];
    const char *address = argc > 1 ? argv[1] : "00";
    unsigned short r;

    if (strlen(address) != 2) {
        puts("the address is two digits, e.g. 00");
        return 2;
    }
    r = Open_Com(1, 115200, 8, 0, 0);
    if (r != 0) {
        printf("Open_Com(1) failed: %u\n", r);
        return 1;
    }
    snprintf(command, sizeof command, "$%sM", address);
    ask(command, 0);
    ask(command, 1);
    Close_Com(1);
    return 0;
}
