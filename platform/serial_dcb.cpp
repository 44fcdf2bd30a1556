// The Windows port settings as plain values.
#include "platform/serial_dcb.h"

#include "platform/serial.h"

namespace {

const uint32_t kErrorIoIncomplete = 996;
const uint32_t kErrorIoPending = 997;

} // namespace

void SerialDcbForOpen(SerialDcb *d) {
    SerialDcbForSettings(d, 9600, PARITY_EVEN, 1, 8);
    d->binary = true;
    d->outxCtsFlow = true;
    d->outxDsrFlow = false;
    d->dtrControl = SERIAL_DCB_DTR_ENABLE;
    d->dsrSensitivity = false;
    d->txContinueOnXoff = true;
    d->outX = false;
    d->inX = false;
    d->nulStrip = false;
    d->abortOnError = false;
    SerialDcbForRts(d, SERIAL_RTS_HELD);
}

void SerialDcbForSettings(SerialDcb *d, int baud, int parity, int stopBits, int dataBits) {
    if (baud > 0)
        d->baudRate = (uint32_t)baud;
    switch (parity) {
    case PARITY_NONE:
        d->parityCheck = false;
        d->parity = SERIAL_DCB_NOPARITY;
        break;
    case PARITY_EVEN:
        d->parityCheck = true;
        d->parity = SERIAL_DCB_EVENPARITY;
        break;
    case PARITY_ODD:
        d->parityCheck = true;
        d->parity = SERIAL_DCB_ODDPARITY;
        break;
    case PARITY_SPACE:
        d->parityCheck = true;
        d->parity = SERIAL_DCB_SPACEPARITY;
        break;
    case PARITY_MARK:
        d->parityCheck = true;
        d->parity = SERIAL_DCB_MARKPARITY;
        break;
    default:
        break;
    }
    if (dataBits >= 5 && dataBits <= 8)
        d->byteSize = (uint8_t)dataBits;
    d->stopBits = stopBits == 2 ? SERIAL_DCB_TWOSTOPBITS : SERIAL_DCB_ONESTOPBIT;
}

void SerialDcbForRts(SerialDcb *d, int rtsMode) {
    switch (rtsMode) {
    case SERIAL_RTS_TOGGLE_LINE:
        d->rtsControl = SERIAL_DCB_RTS_TOGGLE;
        break;
    case SERIAL_RTS_TOGGLE_PORT:
        d->rtsControl = SERIAL_DCB_RTS_DISABLE; // raised by hand for each write
        break;
    default:
        d->rtsControl = SERIAL_DCB_RTS_ENABLE;
        break;
    }
}

int SerialDcbBitsPerChar(const SerialDcb &d) {
    int data = d.byteSize >= 5 && d.byteSize <= 8 ? d.byteSize : 8;
    int parity = d.parity == SERIAL_DCB_NOPARITY ? 0 : 1;
    int stop = d.stopBits == SERIAL_DCB_TWOSTOPBITS ? 2 : 1;
    return 1 + data + parity + stop;
}

SerialReadTimeouts SerialReadTimeoutsAtOnce() {
    return SerialReadTimeouts{0xFFFFFFFFu, 0, 0};
}

int SerialWinErrorKind(uint32_t error) {
    if (error == kErrorIoPending || error == kErrorIoIncomplete)
        return SERIAL_WIN_PENDING;
    // ERROR_ACCESS_DENIED, ERROR_BAD_COMMAND, ERROR_DEVICE_REMOVED and
    // ERROR_OPERATION_ABORTED are what a pulled USB adapter gives; any other
    // failure of the line is taken the same way, as a hang-up is on POSIX.
    return SERIAL_WIN_HUNGUP;
}
