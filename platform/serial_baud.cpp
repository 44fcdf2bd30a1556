// Line rates that have no speed code of their own (14400, 135, 7200 ...),
// set through the kernel's termios2 with BOTHER. <asm/termbits.h> cannot
// share a file with <termios.h>, so this is kept apart from serial.cpp.
#include "platform/serial_port.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

int SerialSetOtherBaud(int fd, int baud) {
    struct termios2 t;
    if (baud <= 0 || ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    // Both directions at the same rate: the input field says so too.
    t.c_cflag &= ~(tcflag_t)(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = (speed_t)baud;
    t.c_ospeed = (speed_t)baud;
    return ioctl(fd, TCSETS2, &t) == 0;
}

int SerialBaudInForce(int fd, int *input) {
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    if (input)
        *input = (int)t.c_ispeed;
    return (int)t.c_ospeed;
}
