/*
 * slotio - device access for the slotted automation controller.
 *
 * One flat C interface for slot devices, controller services and I/O modules.
 *
 * Conventions that hold for every call below:
 *  - Slots are numbered 0 to 10: 0 is the controller's own device, 1 to 8 the
 *    I/O module slots, 9 the backplane logic device, 10 the interrupt device.
 *    The caller opens the slots it uses (Open_Slot) and closes them again;
 *    the library never opens a slot by itself.
 *  - A failed slot request is silent: a read yields 0 and a write is dropped.
 *    A slot number outside 0 to 10, or a slot that is not open, fails the same
 *    way.
 *  - A service that the current board does not offer prints
 *    "API <name>() not support currently Norvik" on standard output and does
 *    nothing else.
 *  - The library keeps process-wide tables without locks: use it from one
 *    thread per process. Callers own every buffer they pass.
 */
#ifndef SLOTIO_H
#define SLOTIO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Slot-driver request record and codes ------------------------------ */

/* The record passed by address with every slot request except
 * SLOT_GET_STATUS: eight unsigned 32-bit words, read and written in place by
 * the driver. */
typedef struct SlotRequest {
    uint32_t signo;   /* signal to deliver (SLOT_SET_SIGNAL) */
    uint32_t value;   /* data written or read back; process id for SLOT_SET_SIGNAL */
    uint32_t aux;     /* 0 in the EEPROM data requests */
    uint32_t spare;   /* unused */
    uint32_t hi;      /* EEPROM address bits 8-15; serial number bytes 0-3 */
    uint32_t lo;      /* EEPROM address bits 0-7; serial number bytes 4-7 */
    uint32_t reg;     /* register offset, memory address or LED index */
    uint32_t wdt_sel; /* watchdog selector: 0 system watchdog, 0xd80a second watchdog */
} SlotRequest;

/* The record of SLOT_GET_STATUS: 38 words, the status answered in word 9. */
typedef struct SlotStatusRecord {
    uint32_t word[38];
} SlotStatusRecord;

#define SLOT_GET_STATUS 0x80085700u
#define SLOT_SET_SIGNAL 0x80085701u
#define SLOT_READ_REG 0x80085702u
#define SLOT_WRITE_REG 0x80085703u
#define SLOT_SELECT 0x80085704u
#define SLOT_READ_EEP 0x80085705u
#define SLOT_WRITE_EEP 0x80085706u
#define SLOT_EEP_WRITE_ENABLE 0x80085707u
#define SLOT_EEP_WRITE_DISABLE 0x80085708u
#define SLOT_FETCH_ID 0x80085709u
#define SLOT_READ_SRAM 0x8008571au
#define SLOT_WRITE_SRAM 0x8008571bu
#define SLOT_WDT_ENABLE 0x8008571cu
#define SLOT_WDT_DISABLE 0x8008571du
#define SLOT_WDT_GET_EVENT 0x8008571eu
#define SLOT_WDT_CLEAR_EVENT 0x8008571fu
#define SLOT_TIMER_ENABLE 0x80085720u
#define SLOT_TIMER_DISABLE 0x80085721u
#define SLOT_READBACK_DO 0x80085722u
#define SLOT_SET_LED 0x80085724u
#define SLOT_GET_ATOM_ROTARY 0x80085729u
#define SLOT_SET_ATOM_LED 0x8008572au
#define SLOT_READ_REG16 0x8008572bu
#define SLOT_WRITE_REG16 0x8008572cu

/* ---- Slot devices and register access ---------------------------------- */

/* Opens "/dev/slot<slot>" read-write and keeps its descriptor. Returns 0, or 2
 * when the device cannot be opened or the slot is outside 0 to 10 (never a
 * negative value). Opening an open slot again does not close the old one. */
int Open_Slot(int slot);

/* Closes the slot's descriptor; a slot that is not open is left alone. */
void Close_Slot(int slot);

/* Opens slots 0 to 8 in ascending order. Returns 0 when all nine are open;
 * at the first failure it stops and returns 2, leaving earlier slots open. */
int Open_SlotAll(void);

/* Closes slots 0 to 8 in ascending order. */
void Close_SlotAll(void);

/* Reads the 8-bit register `reg` of a slot; 0 when the request fails. */
unsigned char inb(int slot, int reg);

/* Writes the 8-bit register `reg` of a slot; dropped when the request fails. */
void outb(int slot, int reg, unsigned char value);

/* Reads the 16-bit register `reg` of a slot; 0 when the request fails. */
unsigned short inw(int slot, int reg);

/* Writes the 16-bit register `reg` of a slot; dropped when the request fails. */
void outw(int slot, int reg, unsigned short value);

/* Selects a module slot on the controller device (slot 0) with the one-hot
 * mask 1 << slot. A slot outside 0 to 10 sends nothing. */
void ChangeToSlot(int slot);

/* Asks the driver to send signal `signo` to process `pid` when the slot's
 * interrupt fires. Returns 0, or prints "FAILURE?" and returns -1. */
int setSignal(int slot, int signo, int pid);

/* ---- Board identification ---------------------------------------------- */

/* Identifies the processor board once per process:
 * 1 Geode, 2 Z520, 3 R3600 with the PCI device, 4 E38, 5 R3600 without it.
 * Returns 100 for a board no probe recognises and 0 when a probe command
 * could not be started ("popen() error!" printed); neither is cached, so the
 * next call probes again. */
int GetPlatform(void);

/* Number of I/O slots of the backplane: 0, 1, 2, 4 or 8. Slot 9 must be
 * open; a failed register read counts as 0. On a board that has no slot
 * count register (platforms 0, 5 and 100) it prints the unsupported-API
 * message and returns 0. */
int GetSlotCount(void);

/* The library version text "0.8.12"; static, never free or change it. */
const char *GetSDKversion(void);

/* ---- Module identification ---------------------------------------------- */
/* Every module answers its ID byte in register 0 of its slot (1 to 8, open).
 * Model numbers are 4000 plus the catalogue's model number, or 5000 plus it
 * when the marker file "/usr/local/etc/ostrel/5000-PAC" exists (tested on
 * every call). 4000 alone stands for "no known module" in either series. */

/* The module's type code (1 digital input, 2 digital output, 3 digital
 * input/output, 4 relay output, 5 analog input, 6 analog output, 7 encoder,
 * 8 motion, 9 slot test fixture, 10 counter); 0 for an empty slot or an
 * unknown ID, 4000 for an ID beyond the catalogue. */
int GetModuleType(int slot);

/* The module's model number, or 4000 when no known module answers. */
int GetNameOfModule(int slot);

/* Writes the model text ("4057", or a board variant such as "4031HW") into
 * `text`. The first 10 bytes are cleared first: the buffer must hold at
 * least 10 bytes. Does nothing when `text` is NULL. */
void GetExactlyNameOfModule(int slot, char *text);

/* ---- Digital I/O modules -------------------------------------------------- */
/* Outputs are registers 0-3 (read back with SLOT_READBACK_DO), inputs
 * registers 1-4; multi-byte ports are little-endian, one request per byte.
 * The slot must be open. A failed request reads 0 for its byte; the others
 * still go out. Bit numbers run from 0 to the port width minus 1: a bitwise
 * output call with any other bit number writes the port back unchanged, a
 * bitwise input call returns 0. */

/* Write an output port: 8, 16 or 32 bits (bits above 31 of DO_32's data are
 * ignored). The DIO_ forms are the same calls for input/output modules. */
void DO_8(int slot, unsigned char data);
void DO_16(int slot, unsigned int data);
void DO_32(int slot, unsigned long data);
void DIO_DO_8(int slot, unsigned char data);
void DIO_DO_16(int slot, unsigned int data);

/* What the output port holds, as the module reports it. */
unsigned char DO_8_RB(int slot);
unsigned int DO_16_RB(int slot);
unsigned long DO_32_RB(int slot);
unsigned char DIO_DO_8_RB(int slot);
unsigned int DIO_DO_16_RB(int slot);

/* Set (state non-zero) or clear one output: reads the port back, changes the
 * bit, writes every byte of the port. Not atomic against other writers. */
void DO_8_BW(int slot, int bit, int state);
void DO_16_BW(int slot, int bit, int state);
void DO_32_BW(int slot, int bit, int state);
void DIO_DO_8_BW(int slot, int bit, int state);
void DIO_DO_16_BW(int slot, int bit, int state);

/* Read an input port as the register shows it (never inverted). */
unsigned char DI_8(int slot);
unsigned int DI_16(int slot);
unsigned long DI_32(int slot);
unsigned char DIO_DI_8(int slot);
unsigned int DIO_DI_16(int slot);

/* One input bit of the port: 1 or 0. */
int DI_8_BW(int slot, int bit);
int DI_16_BW(int slot, int bit);
int DI_32_BW(int slot, int bit);

/* The inputs of whatever digital module is in the slot, in its own width (8,
 * 16 or 32 bits, from its ID) and polarity (modules with inverted inputs are
 * read inverted back). An ID without catalogue entry reads 32 bits as they
 * are. */
unsigned long ReadDI(int slot);

/* ---- Encoder module -------------------------------------------------------- */
/* Three 16-bit hardware counters (axes 1 to 3) and signed software counts
 * that extend them past their wrap. The card number is the module's slot;
 * card numbers 20 and above are refused by every call (nothing sent, 0
 * returned). Axis numbers other than 1 to 3 touch no register. */

/* 1 when the slot holds an encoder module (ID byte 13); stores user_value. */
unsigned char I4052_REGISTRATION(unsigned char card, int user_value);

/* Sets the counting mode of each axis (bits 3-7 of each mode byte) and clears
 * the three hardware counters. */
void I4052_INIT_CARD(unsigned char card, unsigned char mode1, unsigned char mode2,
                     unsigned char mode3);

/* The hardware count of one axis (low byte, then high byte); 0 for another axis. */
unsigned short I4052_GET_ENCODER(unsigned char card, unsigned char axis);

/* Clears the hardware counter of one axis; the extended count is not touched. */
void I4052_RESET_ENCODER(unsigned char card, unsigned char axis);

/* The index inputs of the three axes in bits 0-2. */
unsigned char I4052_GET_INDEX(unsigned char card);

/* Updates the extended counts of all three axes from the hardware counters;
 * call it often enough that no axis moves 32768 counts between updates. */
void I4052_ENCODER32_ISR(unsigned char card);

/* Starts the extended count of one axis from 0 at the current position (the
 * baselines of all three axes move to the current counts). */
void I4052_RESET_ENCODER32(unsigned char card, unsigned char axis);

/* Updates all three axes, then returns the extended count of one; 0 for
 * another axis. */
long I4052_GET_ENCODER32(unsigned char card, unsigned char axis);

/* ---- Motion module: command FIFO and registry ----------------------------- */
/* A two-axis pulse module driven through a command FIFO in register 1. The
 * card number is the module's slot; card numbers 20 and above are refused by
 * every call (nothing sent, nothing stored, 0 returned). Each byte waits for
 * the module's FIFO_READY; if the module shows it clear for a whole second
 * (no module, a stopped module) or the slot refuses the status read (slot
 * not open), the frame is abandoned: its remaining bytes are not written,
 * and a software interpolation in progress is dropped. */

/* Writes one byte into the command FIFO after waiting for room. */
void outportb_fifo(unsigned char card, unsigned char byte);

/* Writes one command frame (00 55 AA, code, p1-p8, check byte, sequence
 * number 1 to 80), twice, the second time with the check byte complemented. */
void output_fifo(unsigned char card, unsigned char code, unsigned char p1, unsigned char p2,
                 unsigned char p3, unsigned char p4, unsigned char p5, unsigned char p6,
                 unsigned char p7, unsigned char p8);

/* Resets the module's FIFO and sends the empty frame (code 0). */
void I4053_reset_fifo(unsigned char card);

/* 1 when the slot holds a motion module (ID byte 14): the card is registered
 * with default settings (acceleration step 1, low speed 10, top speed 100)
 * and any software interpolation in progress is dropped. 0 otherwise. */
unsigned char I4053_REGISTRATION(unsigned char card, int user_value);

/* ---- Motion module: axis commands ----------------------------------------- */
/* Axis codes: 1 = X, 2 = Y. Direction: bit 0, 1 = negative. Every command
 * except I4053_INTP_PULSE cancels a software interpolation in progress, even
 * when it then refuses its arguments (refused commands send nothing). */

void I4053_LSP_ORG(unsigned char card, unsigned char dir, unsigned char axis);
void I4053_HSP_ORG(unsigned char card, unsigned char dir, unsigned char axis);
void I4053_HSD_ORG(unsigned char card, unsigned char dir, unsigned char axis);
/* Moves an axis by `pulses` (0 or less: negative direction). */
void I4053_LSP_PULSE_MOVE(unsigned char card, unsigned char axis, long pulses);
void I4053_HSP_PULSE_MOVE(unsigned char card, unsigned char axis, long pulses, unsigned int speed);
void I4053_LSP_MOVE(unsigned char card, unsigned char dir, unsigned char axis);
void I4053_HSP_MOVE(unsigned char card, unsigned char dir, unsigned char axis);
/* Refused when speed is above 2047. */
void I4053_CSP_MOVE(unsigned char card, unsigned char dir, unsigned char axis, unsigned int speed);
void I4053_SLOW_DOWN(unsigned char card, unsigned char axis);
void I4053_SLOW_STOP(unsigned char card, unsigned char axis);
/* One interpolation segment; refused when |dx| or |dy| is above 2047. */
void I4053_INTP_PULSE(unsigned char card, int dx, int dy);
/* The module's own line; refused for (0, 0) or a magnitude above 524287. */
void I4053_INTP_LINE(unsigned char card, long x, long y);
/* Module settings; refused unless first_setting is 1-254, acc_step 1-200,
 * low_speed 1-200 and high_speed from low_speed + 1 to 2047. acc_step and
 * low_speed also shape the software speed profile. */
void I4053_SET_VAR(unsigned char card, unsigned char first_setting, unsigned char acc_step,
                   unsigned int low_speed, unsigned int high_speed);
void I4053_SET_DEFDIR(unsigned char card, unsigned char x, unsigned char y);
void I4053_SET_MODE(unsigned char card, unsigned char x, unsigned char y);
void I4053_SET_SERVO_ON(unsigned char card, unsigned char x, unsigned char y);
void I4053_SET_NC(unsigned char card, unsigned char nc);
void I4053_STOP_X(unsigned char card);
void I4053_STOP_Y(unsigned char card);
/* The three stops reset the FIFO first and end any software interpolation. */
void I4053_STOP_ALL(unsigned char card);
void I4053_RESET_SYSTEM(unsigned char card);
/* Writes its stop frame without waiting for room in the FIFO. */
void I4053_EMG_STOP(unsigned char card);

/* Status register 1 and 2 as read. */
unsigned char I4053_LIMIT_X(unsigned char card);
unsigned char I4053_LIMIT_Y(unsigned char card);
/* 1 when the axis is stopped (module not busy, axis not moving). */
unsigned char I4053_IS_X_STOP(unsigned char card);
unsigned char I4053_IS_Y_STOP(unsigned char card);
/* Waits, without a time limit, until the axis is stopped; returns at once for
 * a card that is not registered. */
void I4053_WAIT_X(unsigned char card);
void I4053_WAIT_Y(unsigned char card);

/* ---- Motion module: software interpolation --------------------------------- */
/* Start a path with I4053_INTP_LINE02, _CIRCLE02 or _ARC02, then call
 * I4053_INTP_STOP (or I4053_GET_CARD) until it returns 0. speed is the top
 * segment length along the path in pulses (at most 2040 is used);
 * const_speed 0 selects the trapezoidal profile of the card's acc_step and
 * low_speed, any other value constant segments of `speed` (at most 2047).
 * A path is refused at set-up (nothing sent) when it is empty, when its top
 * speed comes to 0 (speed 0, or 1 on a slanted line), when the card has no
 * acceleration step (never registered nor set) for the trapezoidal profile,
 * or, for an arc, when dir is not 0 or 1 or the chord is longer than 2|r|.
 * dir: 0 clockwise, 1 counter-clockwise. */

/* A line from the current position to (x, y). */
void I4053_INTP_LINE02(unsigned char card, long x, long y, unsigned int speed,
                       unsigned char const_speed);
/* A full circle around the centre (x, y), relative to the current position. */
void I4053_INTP_CIRCLE02(unsigned char card, long x, long y, unsigned char dir, unsigned int speed,
                         unsigned char const_speed);
/* An arc to (x, y) of radius |r|: r positive the shorter arc, negative the longer. */
void I4053_INTP_ARC02(unsigned char card, long x, long y, long r, unsigned char dir,
                      unsigned int speed, unsigned char const_speed);
/* Runs one pass if the card is registered: sends segments until the FIFO is
 * full or the path ends. */
void I4053_GET_CARD(unsigned char card);
/* Runs one pass, then drops the path if the module is no longer interpolating;
 * 1 while a path is pending, 0 when none is. */
unsigned char I4053_INTP_STOP(void);

/* The engine's parts, for programs that drive it themselves. */
unsigned char intp_state_machine(void);
unsigned char I4053_LINE_CORE(unsigned char card, long x, long y, unsigned int speed,
                              unsigned char const_speed);
unsigned char I4053_CIRCLE_CORE(unsigned char card, long x, long y, unsigned char dir,
                                unsigned int speed, unsigned char const_speed);
unsigned char I4053_ARC_CORE(unsigned char card, long x, long y, long r, unsigned char dir,
                             unsigned int speed, unsigned char const_speed);
/* The next segment length of the trapezoidal profile of the card. */
void I4053_INTP_PROFILE(unsigned char card);
/* The next segment length at the constant length given. */
void I4053_INTP_PROFILE_CSPD(unsigned int length);

/* ---- Serial ports --------------------------------------------------------- */
/* Raw serial ports for the remote-module protocol. speed is a termios speed
 * code (B9600, B115200, ...), cflags the character size (CS5 to CS8). */

/* Opens (or, for a path already open, reconfigures) a port in raw mode:
 * parity 0 none, 1 sets the odd flag only, 2 sets the enable flag only; stop
 * 0 one stop bit, 2 two. VMIN 1, VTIME 0. Returns the descriptor; 0 when the
 * port cannot be opened or parity or stop is not accepted (the port then
 * gets its settings back and is closed); -1 when the speed is not accepted. */
int sio_open(const char *device, unsigned int speed, unsigned int cflags, int parity, int stop);

/* Puts the settings the port had back and closes it: 0, or -1 when close
 * fails or the descriptor was not opened by sio_open. */
int sio_close(int fd);

/* Raw or canonical input (canonical: a received CR ends a line). Descriptors
 * that sio_open did not open are left alone. */
void sio_set_noncan(int fd);
void sio_set_canon(int fd);

/* The read timer: VMIN characters, VTIME tenths of a second. */
void sio_set_timer(int fd, unsigned char vmin, unsigned char vtime);

/* A new speed in both directions, then one CR sent: 0, or -1 (the port is
 * then closed when the speed was refused). */
int sio_set_baud(int fd, unsigned int speed);

/* ---- Time of day and deadlines -------------------------------------------- */
struct timeval;

/* Microseconds and milliseconds since the epoch, on the wall clock. */
int64_t _time_get_tod(void);
int64_t _time_get_todMS(void);

/* Sets the deadline `delay_us` microseconds from now. */
void _time_set_deadline(uint64_t delay_us, struct timeval *deadline);

/* -1 once the deadline is reached (equal counts as reached), 0 before. */
int _time_out(const struct timeval *deadline);

/* ---- Remote-module ASCII protocol ------------------------------------------ */
/* Commands and replies end in CR; a checksum is two upper-case hexadecimal
 * digits of the byte sum before the CR. The checksum routines print trace
 * lines on standard output. A reply buffer of `size` must hold size + 1 bytes.
 * Exchange results: > 0 characters received (0 for the sends on success), 0
 * a time-out, -1 a failure (command too long for a checksum, more than 124
 * characters; write or read error; wrong reply checksum). */

/* The source up to its first NUL, CR or LF, then CR (and, with _chksum, the
 * checksum digits before it). Return dst. */
char *_rmx_gum_cr(char *dst, const char *src);
char *_rmx_gum_chksum(char *dst, const char *src);

/* 0 when the reply's checksum is right, -1 when not (or when the reply has
 * no two characters before its end). */
int _rmx_chksum(const char *reply);

int rmx_send(int fd, const char *command);
int rmx_send_cs(int fd, const char *command);
/* One read of up to size bytes. */
int rmx_read(int fd, char *buffer, int size);
int rmx_read_cs(int fd, char *buffer, int size);
/* Characters up to CR; the time taken in microseconds. After a time-out the
 * characters received stay in the buffer without a terminating NUL. */
int rmx_readt(int fd, char *buffer, int size, int64_t *elapsed_us);
int rmx_readt_cs(int fd, char *buffer, int size, int64_t *elapsed_us);
int rmx_send_read(int fd, const char *command, char *buffer, int size);
int rmx_send_read_cs(int fd, const char *command, char *buffer, int size);
int rmx_send_readt(int fd, const char *command, char *buffer, int size, int64_t *elapsed_us);
int rmx_send_readt_cs(int fd, const char *command, char *buffer, int size, int64_t *elapsed_us);

/* ---- COM ports ------------------------------------------------------------ */
/* COM 1 is "/dev/ttySA0", COM 2 to 36 "/dev/ttyS0" to "/dev/ttyS34", COM 37
 * "/dev/ttySA1". Result codes: 0 success; 1 arguments not accepted or the
 * exchange failed; 2 port number out of range, or (every call but Open_Com)
 * the port is not open, or Open_Com could not open it; 3 rate not accepted;
 * 15 time-out; 65535 write failed. Time-outs in tenths of a second (low 8
 * bits used). Reply buffers hold 251 bytes. */

/* Rate 1200 to 115200 bits per second, data bits 5 to 8, parity 0, 1 or 2,
 * stop bits 0 (one) or 2 (two). */
unsigned short Open_Com(signed char port, unsigned int rate, signed char data_bits,
                        signed char parity, signed char stop_bits);
unsigned short Close_Com(signed char port);
/* Sends the command (up to its first CR or LF) with a CR, with or without
 * checksum (checksum: at most 123 characters). */
unsigned short Send_Cmd(signed char port, const char *command, unsigned short checksum);
/* The reply keeps its CR. */
unsigned short Receive_Cmd(signed char port, char *reply, unsigned short timeout,
                           unsigned short checksum);
/* The reply comes back without its CR, always a terminated string; the time
 * taken in microseconds (low 16 bits). */
unsigned short Send_Receive_Cmd(signed char port, const char *command, char *reply,
                                unsigned short timeout, unsigned short checksum,
                                unsigned short *elapsed_us);
/* Returns the number of bytes written (65535 when write fails). */
unsigned short Send_Binary(signed char port, const char *data, int length);
/* One read of up to size bytes (the buffer holds size + 1). */
unsigned short Receive_Binary(signed char port, char *buffer, unsigned short timeout,
                              unsigned short size, void *unused);
/* Writes the data, then collects reply bytes until reply_length have come or
 * timeout_ms has passed; returns the number of bytes received (no NUL). */
unsigned short Send_Receive(signed char port, const char *data, unsigned short data_length,
                            char *reply, unsigned short reply_length, unsigned short timeout_ms,
                            unsigned short *elapsed_ms);

#ifdef __cplusplus
}
#endif

#endif /* SLOTIO_H */
