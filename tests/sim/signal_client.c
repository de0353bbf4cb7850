/* Registers for the interrupt of slot 10 and has pacsim raise it again and
 * again (argv[1] is the pacsim program) while the main flow keeps reading a
 * backplane register. A signal must never make a read fail.
 * Prints "reads ok, signals seen" and exits 0 when all went well. */
#include "slotio.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

static volatile sig_atomic_t sig_counter;

static void count_signal(int signo)
{
    (void)signo;
    sig_counter = sig_counter + 1;
}

int main(int argc, char **argv)
{
    struct sigaction sa;
    char command[512];
    int bad_reads = 0, status = 0, i;
    pid_t raiser;

    if (argc < 2)
        return 2;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = count_signal; /* no SA_RESTART: system calls see EINTR */
    sigaction(SIGALRM, &sa, NULL);

    if (Open_Slot(9) != 0 || Open_Slot(10) != 0) {
        puts("open failed");
        return 1;
    }
    if (setSignal(10, SIGALRM, (int)getpid()) != 0)
        return 1;

    snprintf(command, sizeof command, "%s raise 10", argv[1]);
    raiser = fork();
    if (raiser == 0) {
        for (i = 0; i < 20; ++i) {
            if (system(command) != 0)
                _exit(1);
            usleep(2000);
        }
        _exit(0);
    }
    while (waitpid(raiser, &status, WNOHANG) == 0)
        if (inb(9, 35) != 7)
            ++bad_reads;
    for (i = 0; i < 200 && sig_counter == 0; ++i)
        usleep(1000);

    printf("reads %s, signals %s\n", bad_reads ? "failed" : "ok", sig_counter ? "seen" : "missing");
    Close_Slot(10);
    Close_Slot(9);
    return bad_reads == 0 && sig_counter > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0
                                                                                              : 1;
}
