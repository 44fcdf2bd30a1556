// The Windows side of the serial link checks run under wine (wine_serial.py):
// a COM port that the wine registry maps to the pty of one of our Linux
// simulators. Each mode walks one dialogue and prints what it found; the exit
// status is 0 only when every check held.
//
//   com_check symax PORT START V...    reads V... at START, writes them + 1
//   com_check rtu PORT SLAVE START V...  the same over Modbus RTU
//   com_check raw-rtu PORT SLAVE START COUNT  one RTU request by hand on the
//       bare port: the write is reported, the reply's bytes come as they
//       arrive and the quiet line after them is reported
//   com_check hangup PORT              opens the port, says "OPEN", and waits
//       for the hang-up when the simulator goes away
//   com_check no-port PORT             the open fails
#include "comm/comm.h"
#include "platform/serial.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

int failures = 0;

void Check(bool ok, const char *what) {
    printf("%s %s\n", ok ? "ok" : "FAIL", what);
    fflush(stdout);
    if (!ok)
        failures++;
}

std::vector<uint16_t> Values(int argc, char **argv, int from) {
    std::vector<uint16_t> v;
    for (int i = from; i < argc; i++)
        v.push_back((uint16_t)strtoul(argv[i], nullptr, 0));
    return v;
}

// Reads the values at start, then writes each + 1 and reads them back.
void ReadAndWrite(CommHandle *h, int start, std::vector<uint16_t> want) {
    int n = (int)want.size();
    std::vector<uint16_t> got(want.size(), 0xDEAD);
    int r = Read4X(h, start, n, got.data());
    if (r != n)
        printf("read: %d %s\n", r, CommErrorText(h));
    Check(r == n && got == want, "registers read");
    for (uint16_t &v : want)
        v = (uint16_t)(v + 1);
    r = Write4X(h, start, n, want.data());
    if (r != n)
        printf("write: %d %s\n", r, CommErrorText(h));
    Check(r == n, "registers written");
    r = Read4X(h, start, n, got.data());
    Check(r == n && got == want, "registers read back");
}

uint16_t Crc16(const uint8_t *b, int n) {
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < n; i++) {
        crc ^= b[i];
        for (int k = 0; k < 8; k++)
            crc = (crc & 1) ? (uint16_t)((crc >> 1) ^ 0xA001) : (uint16_t)(crc >> 1);
    }
    return crc;
}

// Stops the port's waits when a dialogue takes far longer than it should, so
// the check ends rather than hangs.
struct Watchdog {
    std::atomic<bool> done{false};
    std::thread thread;
    Watchdog(SerialPort *p, int seconds) {
        thread = std::thread([this, p, seconds] {
            for (int i = 0; i < seconds * 100 && !done; i++)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!done)
                SerialPortStop(p);
        });
    }
    ~Watchdog() {
        done = true;
        thread.join();
    }
};

void RawRtu(const char *port, int slave, int start, int count) {
    SerialPort *p = SerialPortOpen(port);
    Check(p != nullptr, "port opened");
    if (!p)
        return;
    Check(SerialPortConfigure(p, 9600, PARITY_NONE, 1, 8) == 1, "8N1 at 9600 taken");
    Check(SerialPortCharTime(p) == 1041, "a character takes 1041 us at 8N1");
    SerialPortSetEager(p, true);
    SerialPortSetInterval(p, 20);
    // RS-485 style RTS: the driver's toggle where it has one, else by hand.
    SerialPortSetRtsToggle(p, true);
    int mode = SerialPortRtsMode(p);
    printf("rts mode %d\n", mode);
    Check(mode == SERIAL_RTS_TOGGLE_LINE || mode == SERIAL_RTS_TOGGLE_PORT, "RTS toggled");
    int last = start - 1;
    uint8_t request[8] = {(uint8_t)slave, 3, (uint8_t)(last >> 8),
                          (uint8_t)last,  0, (uint8_t)count};
    uint16_t crc = Crc16(request, 6);
    request[6] = (uint8_t)crc;
    request[7] = (uint8_t)(crc >> 8);
    Check(SerialPortWriteStart(p, request, 8) == 1, "write started");
    Check(SerialPortWriteStart(p, request, 8) == 0, "a second write waits for the first");
    uint8_t buf[258];
    std::vector<uint8_t> reply;
    int written = 0, reads = 0, quiet = 0, other = 0;
    {
        Watchdog dog(p, 10);
        while (!quiet) {
            int n = 0;
            int ev = SerialPortWait(p, buf, sizeof buf, &n);
            if (ev == SERIAL_EV_WRITTEN) {
                written = n;
            } else if (ev == SERIAL_EV_READ) {
                reads++;
                reply.insert(reply.end(), buf, buf + n);
            } else if (ev == SERIAL_EV_QUIET) {
                quiet = 1;
            } else {
                other = ev;
                break;
            }
        }
    }
    Check(written == 8, "the write was reported with its 8 bytes");
    Check(other == 0, "no hang-up or stop");
    Check(quiet == 1 && reads >= 1, "reply bytes came, then the quiet line");
    int size = 5 + 2 * count;
    bool good = (int)reply.size() == size && reply[0] == slave && reply[1] == 3 &&
                reply[2] == 2 * count && Crc16(reply.data(), size) == 0;
    Check(good, "the reply is one whole RTU frame");
    for (int i = 0; good && i < count; i++)
        printf("value %d\n", reply[3 + 2 * i] << 8 | reply[4 + 2 * i]);
    SerialPortClose(p);
}

void Hangup(const char *port) {
    SerialPort *p = SerialPortOpen(port);
    Check(p != nullptr, "port opened");
    if (!p)
        return;
    SerialPortSetEager(p, true);
    printf("OPEN\n");
    fflush(stdout);
    uint8_t buf[16];
    int ev = 0, n = 0;
    {
        Watchdog dog(p, 30);
        do
            ev = SerialPortWait(p, buf, sizeof buf, &n);
        while (ev == SERIAL_EV_READ || ev == SERIAL_EV_QUIET);
    }
    Check(ev == SERIAL_EV_HUNGUP, "the hang-up was reported");
    uint8_t byte = 0;
    Check(SerialPortWriteStart(p, &byte, 1) == 0, "no write starts on a hung-up line");
    // Reported once: the next wait ends only with the stop.
    std::thread stopper([p] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        SerialPortStop(p);
    });
    ev = SerialPortWait(p, buf, sizeof buf, &n);
    stopper.join();
    Check(ev == SERIAL_EV_STOP, "then only the stop");
    SerialPortClose(p);
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: com_check symax|rtu|raw-rtu|hangup|no-port PORT ...\n");
        return 2;
    }
    const char *mode = argv[1], *port = argv[2];
    if (!strcmp(mode, "symax") && argc >= 5) {
        CommHandle *h = OpenSymax(port, 0, nullptr);
        Check(h != nullptr, "Sy/Max link opened");
        if (h) {
            ReadAndWrite(h, atoi(argv[3]), Values(argc, argv, 4));
            CommClose(h);
        }
    } else if (!strcmp(mode, "rtu") && argc >= 6) {
        CommHandle *h = OpenModbusRTU(port, atoi(argv[3]));
        Check(h != nullptr, "Modbus RTU link opened");
        if (h) {
            Check(SetPortParams(h, 9600, PARITY_NONE, 1, 100, 8) == 1, "port settings taken");
            ReadAndWrite(h, atoi(argv[4]), Values(argc, argv, 5));
            CommClose(h);
        }
    } else if (!strcmp(mode, "raw-rtu") && argc == 6) {
        RawRtu(port, atoi(argv[3]), atoi(argv[4]), atoi(argv[5]));
    } else if (!strcmp(mode, "hangup")) {
        Hangup(port);
    } else if (!strcmp(mode, "no-port")) {
        SerialPort *p = SerialPortOpen(port);
        Check(p == nullptr, "a port that is not there does not open");
        if (p)
            SerialPortClose(p);
        Check(OpenSymax(port, 0, nullptr) == nullptr, "nor does a link on it");
    } else {
        fprintf(stderr, "com_check: unknown mode or arguments\n");
        return 2;
    }
    return failures ? 1 : 0;
}
