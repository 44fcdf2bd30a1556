// Serial ports on termios: port names, open and attach, line settings and
// pacing. The paced transfers are in serial_io.cpp.
#include "platform/serial_name.h"
#include "platform/serial_port.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

// The line settings SerialPortOpen found.
struct SavedLine {
    termios t;
};

namespace {

struct BaudCode {
    int baud;
    speed_t code;
};

const BaudCode kBauds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

int BaudToCode(int baud, speed_t *code) {
    for (const BaudCode &b : kBauds)
        if (b.baud == baud) {
            *code = b.code;
            return 1;
        }
    return 0;
}

// The rate in force is close enough to the one asked for: within 2 %, which
// takes 134 for 135 and what a UART's divider rounds to.
bool RateClose(int inForce, int baud) {
    int64_t off = (int64_t)inForce - baud;
    return (off < 0 ? -off : off) * 50 <= baud;
}

// Unix98 pty slaves (majors 136-143) and the pty multiplexer (5, 2).
bool IsPty(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    unsigned ma = major(st.st_rdev), mi = minor(st.st_rdev);
    return (ma >= 136 && ma <= 143) || (ma == 5 && mi == 2);
}

SerialPort *PortNew(int fd) {
    SerialPort *p = new (std::nothrow) SerialPort();
    if (!p)
        return nullptr;
    p->fd = fd;
    p->stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    p->nudgeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (p->stopFd < 0 || p->nudgeFd < 0) {
        if (p->stopFd >= 0)
            close(p->stopFd);
        if (p->nudgeFd >= 0)
            close(p->nudgeFd);
        delete p;
        return nullptr;
    }
    p->pty = IsPty(fd);
    SerialSetPacingLocked(p, 9600, 11);
    return p;
}

void MakeRaw(termios *t) {
    t->c_iflag &= ~(tcflag_t)(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                              IXOFF | IXANY);
    t->c_oflag &= ~(tcflag_t)OPOST;
    t->c_lflag &= ~(tcflag_t)(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t->c_cflag |= CREAD | CLOCAL;
    t->c_cc[VMIN] = 1;
    t->c_cc[VTIME] = 0;
}

} // namespace

int SerialPortPathIn(const char *name, const char *base, char *path, int size) {
    if (!name || !path || size < 2)
        return 0;
    if (name[0] == '/')
        return snprintf(path, (size_t)size, "%s", name) < size;
    char dev[8];
    int number = SerialComNumber(name, dev);
    if (number < 1)
        return 0;
    struct stat st;
    if (base && base[0]) {
        std::string there = std::string(base) + "/" + dev;
        if (lstat(there.c_str(), &st) == 0)
            return snprintf(path, (size_t)size, "%s", there.c_str()) < size;
    } else if (lstat(dev, &st) == 0) {
        return snprintf(path, (size_t)size, "%s", dev) < size;
    }
    return snprintf(path, (size_t)size, "/dev/ttyS%d", number - 1) < size;
}

SerialPort *SerialPortOpen(const char *name) {
    char path[256];
    if (!SerialPortPath(name, path, sizeof path))
        return nullptr;
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    termios t;
    // Not shared: a second open of the same device, in this process or any
    // other, fails here.
    if (tcgetattr(fd, &t) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return nullptr;
    }
    ioctl(fd, TIOCEXCL);
    termios found = t;
    MakeRaw(&t);
    t.c_cflag &= ~(tcflag_t)(CSIZE | CSTOPB | PARODD | CMSPAR);
    t.c_cflag |= CS8 | PARENB | CRTSCTS;
    t.c_iflag |= INPCK;
    t.c_iflag &= ~(tcflag_t)(IGNPAR);
    t.c_cflag &= ~(tcflag_t)CIBAUD; // input at the output rate, whatever was set before
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(fd, TCSANOW, &t); // a pty may refuse some of it; it still works
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);
    SerialPort *p = PortNew(fd);
    if (!p) {
        close(fd);
        return nullptr;
    }
    p->savedLine = new (std::nothrow) SavedLine{found};
    return p;
}

SerialPort *SerialPortAttach(int fd, int baud) {
    if (fd < 0)
        return nullptr;
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    termios t;
    if (tcgetattr(fd, &t) == 0) {
        MakeRaw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    SerialPort *p = PortNew(fd);
    if (!p)
        return nullptr;
    SerialSetPacingLocked(p, baud, 10);
    return p;
}

void SerialPortSetRtsToggle(SerialPort *p, bool on) {
    if (!p)
        return;
    // A pty has neither modem lines nor a line driver: only the mode is kept.
    serial_rs485 rs485;
    memset(&rs485, 0, sizeof rs485);
    bool driverHasIt = !p->pty && ioctl(p->fd, TIOCGRS485, &rs485) == 0;
    if (!on) {
        if (driverHasIt && (rs485.flags & SER_RS485_ENABLED)) {
            rs485.flags &= ~(uint32_t)SER_RS485_ENABLED;
            if (ioctl(p->fd, TIOCSRS485, &rs485) == 0)
                p->rs485TurnedOn = false;
        }
        p->rtsMode = SERIAL_RTS_HELD;
        int rts = TIOCM_RTS;
        if (!p->pty)
            ioctl(p->fd, TIOCMBIS, &rts);
        return;
    }
    if (driverHasIt) {
        bool wasOn = (rs485.flags & SER_RS485_ENABLED) != 0;
        rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        rs485.flags &= ~(uint32_t)SER_RS485_RTS_AFTER_SEND;
        if (ioctl(p->fd, TIOCSRS485, &rs485) == 0) {
            p->rs485TurnedOn = p->rs485TurnedOn || !wasOn;
            p->rtsMode = SERIAL_RTS_TOGGLE_LINE;
            return;
        }
    }
    p->rtsMode = SERIAL_RTS_TOGGLE_PORT;
    SerialRtsForWrite(p, false);
}

void SerialRtsForWrite(SerialPort *p, bool on) {
    if (p->rtsMode != SERIAL_RTS_TOGGLE_PORT || p->pty)
        return;
    int rts = TIOCM_RTS;
    ioctl(p->fd, on ? TIOCMBIS : TIOCMBIC, &rts);
}

void SerialPortClose(SerialPort *p) {
    if (!p)
        return;
    // The port is left as the open found it, as good serial programs do.
    if (p->rs485TurnedOn) {
        serial_rs485 rs485;
        memset(&rs485, 0, sizeof rs485);
        if (ioctl(p->fd, TIOCGRS485, &rs485) == 0) {
            rs485.flags &= ~(uint32_t)SER_RS485_ENABLED;
            ioctl(p->fd, TIOCSRS485, &rs485);
        }
    }
    if (p->savedLine)
        tcsetattr(p->fd, TCSANOW, &p->savedLine->t);
    delete p->savedLine;
    // The exclusive mark outlives our descriptor while another holds the
    // device (a simulator's own slave descriptor): clear it for the next open.
    ioctl(p->fd, TIOCNXCL);
    close(p->fd);
    close(p->stopFd);
    close(p->nudgeFd);
    delete p;
}

int SerialPortConfigure(SerialPort *p, int baud, int parity, int stopBits, int dataBits) {
    if (!p || baud <= 0)
        return 0;
    speed_t code = B9600;
    bool coded = BaudToCode(baud, &code);
    termios t;
    bool haveTerm = tcgetattr(p->fd, &t) == 0;
    if (!haveTerm)
        memset(&t, 0, sizeof t);
    switch (parity) {
    case PARITY_NONE:
        t.c_cflag &= ~(tcflag_t)(PARENB | PARODD | CMSPAR);
        t.c_iflag &= ~(tcflag_t)INPCK;
        break;
    case PARITY_EVEN:
    case PARITY_ODD:
    case PARITY_SPACE:
    case PARITY_MARK:
        t.c_cflag &= ~(tcflag_t)(PARODD | CMSPAR);
        t.c_cflag |= PARENB;
        if (parity == PARITY_ODD || parity == PARITY_MARK)
            t.c_cflag |= PARODD;
        if (parity >= PARITY_SPACE)
            t.c_cflag |= CMSPAR;
        t.c_iflag |= INPCK;
        break;
    default:
        break;
    }
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (dataBits >= 5 && dataBits <= 8) {
        t.c_cflag &= ~(tcflag_t)CSIZE;
        t.c_cflag |= sizes[dataBits - 5];
    }
    if (stopBits == 2)
        t.c_cflag |= CSTOPB;
    else
        t.c_cflag &= ~(tcflag_t)CSTOPB;
    // A rate without a speed code keeps the old code here and is set on its
    // own. A coded rate clears the input field, which a rate set by number
    // leaves behind: the input rate then follows the output rate again.
    if (coded) {
        t.c_cflag &= ~(tcflag_t)CIBAUD;
        cfsetispeed(&t, code);
        cfsetospeed(&t, code);
    }
    bool took = true;
    if (haveTerm) {
        // A pty drops parity, which the C library then reports as a refusal.
        took = tcsetattr(p->fd, TCSANOW, &t) == 0 || p->pty;
        if (!coded)
            took = SerialSetOtherBaud(p->fd, baud) && took;
        // A device that cannot make the rate runs at another one; it says
        // which when asked.
        int input = 0;
        int output = SerialBaudInForce(p->fd, &input);
        took = took && RateClose(output, baud) && RateClose(input, baud);
    }

    int bits = 1 + (stopBits == 2 ? 2 : 1) + ((t.c_cflag & PARENB) ? 1 : 0);
    switch (t.c_cflag & CSIZE) {
    case CS5:
        bits += 5;
        break;
    case CS6:
        bits += 6;
        break;
    case CS7:
        bits += 7;
        break;
    default:
        bits += 8;
        break;
    }
    std::lock_guard<std::mutex> guard(p->lock);
    SerialSetPacingLocked(p, baud, bits);
    return took ? 1 : 0;
}

int SerialPortFd(const SerialPort *p) {
    return p->fd;
}

void SerialPortStop(SerialPort *p) {
    p->stopped = true;
    uint64_t one = 1;
    ssize_t r = write(p->stopFd, &one, sizeof one);
    (void)r;
}
