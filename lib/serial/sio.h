// The open-port list of the serial port layer.
#pragma once

#include <termios.h>

namespace slotio {

struct sio_entry {
    sio_entry *next;
    int fd;                  // the key of the list
    const char *device;      // the caller's path string itself, not a copy
    termios *settings;       // the working settings applied to the port
    termios *saved_settings; // the settings the port had when it was opened
};

// Head of the list of open ports; null when none is known.
extern sio_entry *sio_list;

// The descriptor of the first element whose device path equals `device`; 0
// when there is none.
int _sio_device(const char *device);

// The element of `fd`, created (zero-filled, appended at the tail) when there
// is none; null when it cannot be allocated.
sio_entry *_sio_follow(int fd);

// The element of `fd`, or null (never creates one).
sio_entry *_sio_find(int fd);

// Unlinks and frees the element of `fd`: 0, or -1 when there is none.
int _sio_trim(int fd);

} // namespace slotio
