// The serial slave's loop: collect a request frame, serve it, send the reply.
// RTU requests end where the line goes quiet (the port's read interval);
// ASCII requests end at CR LF.
#include "sim/modbus_serial/serial_slave.h"

#include "platform/serial.h"
#include "sim/modbus_serial/serial_frames.h"
#include "sim/modbus_slave/modbus_slave.h"

#include <chrono>
#include <cstring>
#include <thread>

int SlaveFaultParse(const char *name) {
    static const char *const names[] = {"none",    "wrong-slave", "bad-check",
                                        "silence", "late",        "overlong"};
    for (int i = 0; i < 6; i++)
        if (strcmp(name, names[i]) == 0)
            return i;
    return -1;
}

// The fault for this reply; a one-shot fault is used up.
static int fault_take(SerialSlave *s) {
    int f = s->fault.load();
    if (f != FAULT_NONE && s->faultOnce.load())
        s->fault = FAULT_NONE;
    return f;
}

static void answer(SerialSlave *s, int address, const uint8_t *pdu, int length) {
    if (address != s->address && address != 0) {
        s->otherFrames++;
        return;
    }
    uint8_t reply[SLAVE_PDU_MAX];
    int n = SlaveServe(s->model, pdu, length, reply);
    if (address == 0 || n <= 0)
        return; // broadcasts are not answered
    int fault = fault_take(s);
    if (fault == FAULT_SILENCE)
        return;
    if (fault == FAULT_LATE)
        std::this_thread::sleep_for(std::chrono::milliseconds(s->lateMs.load()));
    if (fault == FAULT_OVERLONG) {
        // 300 bytes without a pause: RTU bytes, or ASCII hex digits after ':'.
        uint8_t junk[1 + 600 + 2];
        int size = 0;
        if (s->ascii)
            junk[size++] = ':';
        while (size < (s->ascii ? 601 : 300))
            junk[size++] = s->ascii ? '5' : 0x55;
        if (s->ascii) {
            junk[size++] = '\r';
            junk[size++] = '\n';
        }
        SerialPortWrite(s->port, junk, size);
        s->replies++;
        return;
    }
    int from = fault == FAULT_WRONG_SLAVE ? (s->address % 247) + 1 : s->address;
    uint8_t frame[FRAME_ASCII_MAX];
    int size =
        s->ascii ? FrameAsciiEncode(from, reply, n, frame) : FrameRtuEncode(from, reply, n, frame);
    if (fault == FAULT_BAD_CHECK) {
        if (s->ascii)
            frame[size - 3] = frame[size - 3] == '0' ? '1' : '0'; // low LRC digit
        else
            frame[size - 1] ^= 0x5A;
    }
    SerialPortWrite(s->port, frame, size);
    s->replies++;
}

void SerialSlaveRun(SerialSlave *s) {
    AsciiCollector collector;
    AsciiCollectorInit(&collector);
    uint8_t buf[SERIAL_MAX_TRANSFER];
    uint8_t pdu[FRAME_PDU_MAX];
    for (;;) {
        int n = SerialPortRead(s->port, buf, sizeof buf, -1);
        if (n == SERIAL_STOPPED)
            return;
        if (n <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        int address = 0;
        if (!s->ascii) {
            // One burst is one frame; a full buffer is an overlong frame.
            int length = n < (int)sizeof buf ? FrameRtuDecode(buf, n, &address, pdu) : -1;
            if (length < 1)
                s->badFrames++;
            else
                answer(s, address, pdu, length);
            continue;
        }
        for (int i = 0; i < n; i++) {
            int length = 0;
            if (!AsciiCollectorFeed(&collector, buf[i], &length, &address, pdu))
                continue;
            if (length < 1)
                s->badFrames++;
            else
                answer(s, address, pdu, length);
        }
    }
}
