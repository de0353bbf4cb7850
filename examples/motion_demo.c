/* Draws a line, a circle and an arc with the motion module, using the
 * library's software interpolation with the trapezoidal speed profile, and
 * pumps each path to its end.
 *
 *   build/bin/pacsim run --svg path.svg examples/motion.toml -- build/examples/motion_demo
 *
 * The optional argument is the card (slot) of the motion module; 1 if none.
 */
#define _POSIX_C_SOURCE 200112L

#include "slotio.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#define INTP_BUSY 0x80

/* Calls the pump until the path has been handed to the module in full. */
static void pump(void)
{
    while (I4053_INTP_STOP())
        ;
}

/* Waits until the module has output every queued segment. */
static void wait_idle(unsigned char card)
{
    const struct timespec ms = {0, 1000000};
    while (I4053_LIMIT_X(card) & INTP_BUSY)
        nanosleep(&ms, NULL);
}

int main(int argc, char **argv)
{
    const unsigned char card = (unsigned char)(argc > 1 ? atoi(argv[1]) : 1);

    if (Open_Slot(card) != 0) {
        printf("open Slot %d failed!\n", card);
        return 1;
    }
    if (!I4053_REGISTRATION(card, 0)) {
        printf("slot %d holds no motion module\n", card);
        Close_Slot(card);
        return 1;
    }
    I4053_reset_fifo(card);
    I4053_SET_VAR(card, 10, 2, 10, 1000); /* acceleration 2, low speed 10 */

    puts("line to (4000, 1500)");
    I4053_INTP_LINE02(card, 4000, 1500, 200, 0);
    pump();

    puts("circle around (0, -1200), counter-clockwise");
    I4053_INTP_CIRCLE02(card, 0, -1200, 1, 200, 0);
    pump();

    puts("arc to (-2000, 1000), radius 1500, clockwise");
    I4053_INTP_ARC02(card, -2000, 1000, 1500, 0, 200, 0);
    pump();

    wait_idle(card);
    puts("done");
    Close_Slot(card);
    return 0;
}
