// Communications library: one handle-based interface for reading and writing
// the registers of a remote device over every supported link.
//
// Open a connection of one kind, keep the returned handle, issue blocking reads
// and writes on it, close it with CommClose. Each operation below says what it
// returns; every one returns 0 on failure, after which CommErrorText gives the
// reason (a handle that is not valid, or an operation its kind does not have,
// leaves the text as it was). Register numbers are 1-based, values are 16-bit
// words in host order. While an operation waits for its reply the idle hook is
// called about every 10 ms; a hook that returns 0 aborts the wait.
#pragma once
#include <cstdint>

enum {
    ROUTE_MAX_DROPS = 8,         // drops in a Sy/Max or gateway route
    DEFAULT_REPLY_TIMEOUT = 500, // the reply timeout every open sets, in ticks of about 10 ms
};

struct CommHandle;
typedef int (*IdleHook)(void *arg);

// The opens return the new handle, or none when the port or host cannot be
// opened or the route is too long.
//
// Sy/Max point-to-point on a serial port ("COM1:"). route[0] is the number of
// drops (0 to ROUTE_MAX_DROPS), then the drops nearest first. Net-to-Net puts the derived
// drop (first drop +/- 100) in front of the route.
CommHandle *OpenSymax(const char *port, int netToNet, const uint16_t *route);
// A gateway device on a serial port, driven by its "A", "R" and "W" commands.
CommHandle *OpenGateway(const char *port, const uint16_t *route);
// Modbus master in RTU or ASCII framing on a serial port.
CommHandle *OpenModbusRTU(const char *port, int slave);
CommHandle *OpenModbusAscii(const char *port, int slave);
// Modbus TCP (MBAP header) and Modbus RTU frames over TCP, by IPv4 address or host name.
CommHandle *OpenModbusTCP(const char *host, unsigned port, int unit);
CommHandle *OpenRTUoverTCP(const char *host, unsigned port, int unit);
// There is no Sy/Link adapter transport: always returns none.
CommHandle *OpenSylink(unsigned address, int netToNet, const uint16_t *route);

// Ends the reader thread or the socket and frees the handle. 1; 0 for a
// handle that is not valid.
int CommClose(CommHandle *h);
// Serial kinds: baud rate, parity (0 none, 1 even, 2 odd, 3 space, 4 mark),
// stop bits (2 or one), data bits. Every kind: timeout is the reply timeout in 10 ms ticks.
// 1; 0 with a text when the port refuses the rate or framing, the rest set all the same.
int SetPortParams(CommHandle *h, int baud, int parity, int stopBits, int timeout, int dataBits);
// Sy/Max: CRC-16 instead of the block check character; priority opcodes. 1.
int SetSymaxOptions(CommHandle *h, int crc, int priority);
// The text of the last failure, or "Handle not valid".
const char *CommErrorText(CommHandle *h);
// Installs the idle hook (null puts the default, which always goes on waiting). 1.
int SetIdleHook(CommHandle *h, IdleHook hook, void *arg);

// Link statistics, counted by the library on every handle from its open on.
struct CommStats {
    uint32_t requestsSent;    // requests (gateway: command lines) put on the link
    uint32_t repliesTaken;    // replies received and handed to the operation
    uint32_t timeouts;        // waits for a reply that ran out
    uint32_t retransmissions; // Sy/Max frames sent again: ours after a NAK, the peer's after ours
    uint32_t naks;            // Sy/Max: our frames refused by the peer (DLE NAK or busy)
    uint32_t enquiries;       // Sy/Max: DLE ENQ sent while a frame waited for its acknowledgement
    uint32_t checkErrors;     // frames with a bad BCC, CRC or LRC
    uint32_t errorReplies;    // Modbus exception and Sy/Max error-status replies
    uint32_t reconnections;   // links rebuilt after the peer or the line went away
};
// Copies the handle's counters into *stats; 0 (stats zeroed) for a handle not valid.
int CommGetStats(CommHandle *h, CommStats *stats);

// The reads return the number of values read: count, except on a Sy/Max link,
// where a reply with fewer whole values than asked for gives that many.
//
// Holding registers (4X).
int Read4X(CommHandle *h, int start, int count, uint16_t *values);
// Extended memory (6X): file, record, count words.
int Read6X(CommHandle *h, int file, int record, int count, uint16_t *values);
// Coils (0X) and inputs (1X) arrive packed, two bytes to a word with the first
// byte in the high half and the first reference in bit 0 of that byte; input
// registers (3X) one per word. values must hold (count + 15) / 16 words for
// bits; the bit reads return count, the number of bits.
int Read0X(CommHandle *h, int ignored, int start, int count, uint16_t *values);
int Read1X(CommHandle *h, int ignored, int start, int count, uint16_t *values);
int Read3X(CommHandle *h, int ignored, int start, int count, uint16_t *values);
// The writes return count, the number of registers or coils written, except
// Write6X on a Sy/Max link (below).
//
// Holding register writes; Write4XOp6 uses Modbus function 6 for a single register.
int Write4X(CommHandle *h, int start, int count, uint16_t *values);
int Write4XOp6(CommHandle *h, int start, int count, uint16_t *values);
int Write3X(CommHandle *h, int start, int count, uint16_t *values);
// Extended memory (6X). On a Sy/Max link it returns the length of the reply's
// data (at least 7), not the count; on the Modbus kinds the count.
int Write6X(CommHandle *h, int file, int record, int count, uint16_t *values);
// Coil writes. The states are packed in place in values, which the caller loses.
int Write0X(CommHandle *h, int start, int count, uint16_t *values);
int Write0XMulti(CommHandle *h, int start, int count, uint16_t *values);
