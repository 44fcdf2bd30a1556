// The connection handle: open and close, options, error texts and the
// dispatch of the public register operations by connection kind.
#include "comm/comm_internal.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

int HandleValid(const CommHandle *h) {
    return h != nullptr && h->magic == COMM_MAGIC;
}

void SetCommError(CommHandle *h, const char *text) {
    snprintf(h->errorText, sizeof h->errorText, "%s", text);
}

void SetCommErrorF(CommHandle *h, const char *format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(h->errorText, sizeof h->errorText, format, args);
    va_end(args);
}

int DefaultIdleHook(void *) {
    return 1;
}

CommHandle *HandleAllocate(int kind) {
    // Value-initialisation zero-fills the record before the lock is constructed.
    CommHandle *h = new (std::nothrow) CommHandle();
    if (!h)
        return nullptr;
    h->magic = COMM_MAGIC;
    h->kind = kind;
    h->sock = -1;
    h->replyTimeout = DEFAULT_REPLY_TIMEOUT;
    h->idleHook = DefaultIdleHook;
    h->sequenceChar = 0x11;
    h->responseChar = 0x15;
    h->frameSequenceChar = 0x15;
    return h;
}

void HandleFree(CommHandle *h) {
    if (!h)
        return;
    h->magic = 0;
    delete h;
}

CommHandle *OpenSymax(const char *port, int netToNet, const uint16_t *route) {
    return SerialOpen(port, netToNet, route, SERIAL_LINE_SYMAX);
}

CommHandle *OpenGateway(const char *port, const uint16_t *route) {
    CommHandle *h = SerialOpen(port, 0, route, SERIAL_LINE_HALF_DUPLEX);
    if (!h)
        return nullptr;
    h->kind = LINK_GATEWAY;
    h->framing = FRAMING_GATEWAY;
    h->gatewayRoute.count = 0xFFFF;
    return h;
}

static CommHandle *OpenModbusSerial(const char *port, int slave, int kind) {
    static const uint16_t noRoute[9] = {0};
    CommHandle *h = SerialOpen(port, 0, noRoute, SERIAL_LINE_HALF_DUPLEX);
    if (!h)
        return nullptr;
    h->kind = kind;
    h->framing = (uint8_t)kind;
    h->route.count = (uint16_t)slave;
    return h;
}

CommHandle *OpenModbusRTU(const char *port, int slave) {
    return OpenModbusSerial(port, slave, LINK_MODBUS_RTU);
}

CommHandle *OpenModbusAscii(const char *port, int slave) {
    return OpenModbusSerial(port, slave, LINK_MODBUS_ASCII);
}

CommHandle *OpenSylink(unsigned, int, const uint16_t *) {
    return nullptr;
}

int CommClose(CommHandle *h) {
    if (!HandleValid(h))
        return 0;
    if (h->driver)
        SerialClose(h);
    if (h->sock >= 0)
        TcpClose(h);
    HandleFree(h);
    return 1;
}

int SetPortParams(CommHandle *h, int baud, int parity, int stopBits, int timeout, int dataBits) {
    if (!HandleValid(h))
        return 0;
    int ok = 1;
    switch (h->kind) {
    case LINK_SYMAX:
    case LINK_GATEWAY:
    case LINK_MODBUS_RTU:
    case LINK_MODBUS_ASCII:
        // A port that cannot take the settings is reported (0, with a text);
        // the timeout and what the port did take stay in force.
        ok = SerialSetParams(h, baud, parity, stopBits, dataBits);
        break;
    default:
        break;
    }
    h->replyTimeout = (uint16_t)timeout;
    return ok;
}

int SetSymaxOptions(CommHandle *h, int crc, int priority) {
    if (!HandleValid(h))
        return 0;
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    if (crc)
        h->txFlags |= TXF_CRC;
    else
        h->txFlags &= (uint16_t)~TXF_CRC;
    h->priority = priority ? 1 : 0;
    return 1;
}

void StatsCount(CommHandle *h, uint32_t CommStats::*counter) {
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    h->stats.*counter += 1;
}

int CommGetStats(CommHandle *h, CommStats *stats) {
    if (!stats)
        return 0;
    if (!HandleValid(h)) {
        *stats = CommStats{};
        return 0;
    }
    std::lock_guard<std::recursive_mutex> guard(h->lock);
    *stats = h->stats;
    return 1;
}

const char *CommErrorText(CommHandle *h) {
    if (!HandleValid(h))
        return "Handle not valid";
    return h->errorText;
}

int SetIdleHook(CommHandle *h, IdleHook hook, void *arg) {
    if (!HandleValid(h))
        return 0;
    if (hook) {
        h->idleHook = hook;
        h->idleArg = arg;
    } else {
        h->idleHook = DefaultIdleHook;
    }
    return 1;
}

// ---- public register operations ----

static int KindKnown(CommHandle *h) {
    switch (h->kind) {
    case LINK_SYMAX:
    case LINK_GATEWAY:
    case LINK_RESERVED_3:
    case LINK_RESERVED_4:
    case LINK_MODBUS_RTU:
    case LINK_MODBUS_ASCII:
    case LINK_MODBUS_TCP:
    case LINK_RTU_OVER_TCP:
        return 1;
    default:
        SetCommError(h, "Handle corruption 3");
        return 0;
    }
}

// The register range of the Sy/Max-addressed kinds (up to the reserved ones);
// the Modbus kinds take any start.
static int RangeOk(CommHandle *h, int start, int count, const char *text) {
    if (h->kind > LINK_RESERVED_4)
        return 1;
    if (start < 1 || (long)start + count - 1 > 16384) {
        SetCommError(h, text);
        return 0;
    }
    return 1;
}

static int CountOk(CommHandle *h, int count, int most, const char *text) {
    if (count < 1 || count > most) {
        SetCommError(h, text);
        return 0;
    }
    return 1;
}

static int IsSerialModbus(const CommHandle *h) {
    return h->kind == LINK_MODBUS_RTU || h->kind == LINK_MODBUS_ASCII;
}

static int IsTcp(const CommHandle *h) {
    return h->kind == LINK_MODBUS_TCP || h->kind == LINK_RTU_OVER_TCP;
}

// The prologue of every register operation: a valid handle, the register
// range where the kind has one (rangeText null: none checked), the count, a
// known kind, and a serial line that is up or could be opened again.
static int OperationReady(CommHandle *h, int start, int count, int most, const char *rangeText,
                          const char *countText) {
    if (!HandleValid(h))
        return 0;
    if (rangeText && !RangeOk(h, start, count, rangeText))
        return 0;
    if (!CountOk(h, count, most, countText) || !KindKnown(h))
        return 0;
    return SerialLinkReady(h);
}

// Reads of coils, inputs and input registers share their checks and back ends.
static int ReadBits(CommHandle *h, int start, int count, uint16_t *values, int function) {
    if (!OperationReady(h, start, count, 128, nullptr, "Illegal read count"))
        return 0;
    int n = 0;
    if (function == 4 && h->kind == LINK_SYMAX)
        n = SymaxRead3X(h, 0, start, count, values);
    else if (IsSerialModbus(h))
        n = ModbusSerialRead(h, start, count, values, function);
    else if (IsTcp(h))
        n = ModbusTcpRead(h, start, count, values, function);
    return SerialTransactionEnd(h, n);
}

int Read4X(CommHandle *h, int start, int count, uint16_t *values) {
    if (!OperationReady(h, start, count, 128, "Illegal read register", "Illegal read count"))
        return 0;
    int n = 0;
    switch (h->kind) {
    case LINK_SYMAX:
        n = SymaxRead(h, start, count, values);
        break;
    case LINK_GATEWAY:
        n = GatewayRead(h, start, count, values);
        break;
    case LINK_MODBUS_RTU:
    case LINK_MODBUS_ASCII:
        n = ModbusSerialRead(h, start, count, values, 3);
        break;
    case LINK_MODBUS_TCP:
    case LINK_RTU_OVER_TCP:
        n = ModbusTcpRead(h, start, count, values, 3);
        break;
    default:
        break;
    }
    return SerialTransactionEnd(h, n);
}

int Read6X(CommHandle *h, int file, int record, int count, uint16_t *values) {
    if (!OperationReady(h, 0, count, 128, nullptr, "Illegal read count"))
        return 0;
    int n = 0;
    if (h->kind == LINK_SYMAX)
        n = SymaxRead6X(h, file, record, count, values);
    else if (IsSerialModbus(h))
        n = ModbusSerialFileRead(h, 6, file, record, count, values);
    else if (IsTcp(h))
        n = ModbusTcpFileRead(h, 6, file, record, count, values);
    return SerialTransactionEnd(h, n);
}

int Read0X(CommHandle *h, int, int start, int count, uint16_t *values) {
    return ReadBits(h, start, count, values, 1);
}

int Read1X(CommHandle *h, int, int start, int count, uint16_t *values) {
    return ReadBits(h, start, count, values, 2);
}

int Read3X(CommHandle *h, int, int start, int count, uint16_t *values) {
    return ReadBits(h, start, count, values, 4);
}

static int WriteHolding(CommHandle *h, int start, int count, uint16_t *values, int single) {
    if (!OperationReady(h, start, count, 128, "Illegal write register", "Illegal write count"))
        return 0;
    int function = (single && count == 1) ? 6 : 16;
    int n = 0;
    switch (h->kind) {
    case LINK_SYMAX:
        n = SymaxWrite(h, start, count, values);
        break;
    case LINK_GATEWAY:
        n = GatewayWrite(h, start, count, values);
        break;
    case LINK_MODBUS_RTU:
    case LINK_MODBUS_ASCII:
        n = ModbusSerialWrite(h, start, count, values, function);
        break;
    case LINK_MODBUS_TCP:
    case LINK_RTU_OVER_TCP:
        n = ModbusTcpWrite(h, start, count, values, function);
        break;
    default:
        break;
    }
    return SerialTransactionEnd(h, n);
}

int Write4X(CommHandle *h, int start, int count, uint16_t *values) {
    return WriteHolding(h, start, count, values, 0);
}

int Write4XOp6(CommHandle *h, int start, int count, uint16_t *values) {
    return WriteHolding(h, start, count, values, 1);
}

int Write3X(CommHandle *h, int start, int count, uint16_t *values) {
    if (!OperationReady(h, start, count, 128, nullptr, "Illegal write count"))
        return 0;
    int n = 0;
    if (IsSerialModbus(h))
        n = ModbusSerialInputWrite(h, start, count, values);
    else if (IsTcp(h))
        n = ModbusTcpInputWrite(h, start, count, values);
    return SerialTransactionEnd(h, n);
}

int Write6X(CommHandle *h, int file, int record, int count, uint16_t *values) {
    if (!OperationReady(h, 0, count, 128, nullptr, "Illegal write count"))
        return 0;
    int n = 0;
    if (h->kind == LINK_SYMAX)
        n = SymaxWrite6X(h, file, record, count, values);
    else if (IsSerialModbus(h))
        n = ModbusSerialFileWrite(h, file, record, count, values);
    else if (IsTcp(h))
        n = ModbusTcpFileWrite(h, file, record, count, values);
    return SerialTransactionEnd(h, n);
}

// Packs coil states in place: bit i of the byte string for value i.
static void PackCoils(int count, uint16_t *values) {
    uint8_t *bytes = reinterpret_cast<uint8_t *>(values);
    bytes[0] = values[0] ? 1 : 0;
    for (int i = 1; i < count; i++) {
        // Value i sits at bytes 2i and 2i+1, at or beyond byte i/8, so reading
        // it before the store never sees a packed byte.
        int on = values[i] != 0;
        uint8_t mask = (uint8_t)(1u << (i % 8));
        if (on)
            bytes[i / 8] |= mask;
        else
            bytes[i / 8] &= (uint8_t)~mask;
    }
}

static int WriteCoils(CommHandle *h, int start, int count, uint16_t *values, int multi) {
    if (!HandleValid(h))
        return 0;
    if (!CountOk(h, count, 20, "Illegal write count") || !KindKnown(h))
        return 0;
    int function = 15;
    if (multi || count > 1)
        PackCoils(count, values);
    else
        function = 5;
    if (!IsSerialModbus(h) && !IsTcp(h))
        return 0;
    if (!SerialLinkReady(h))
        return 0;
    int n = IsSerialModbus(h) ? ModbusSerialWrite(h, start, count, values, function)
                              : ModbusTcpWrite(h, start, count, values, function);
    return SerialTransactionEnd(h, n);
}

int Write0X(CommHandle *h, int start, int count, uint16_t *values) {
    return WriteCoils(h, start, count, values, 0);
}

int Write0XMulti(CommHandle *h, int start, int count, uint16_t *values) {
    return WriteCoils(h, start, count, values, 1);
}
