// The TCP link under the Modbus TCP and RTU-over-TCP back ends: WinSock error
// texts and the reconnect they call for, the drain before each request, the
// send, and the receive loop that polls the socket while calling the idle hook.
#pragma once
#include "comm/comm_internal.h"

enum {
    TCP_REPLY_ROOM = 262, // MBAP header (7) + the largest PDU (253), with room to spare
    MBAP_HEADER = 6,      // transaction, protocol, length; the unit byte is counted by length
};

// The fixed text of a WinSock error number, or none for an error without one.
const char *TcpErrorText(int error);
// 1 when the error means the connection is gone and is to be rebuilt.
int TcpErrorReconnects(int error);
// Sets the error text "<prefix><text>" (or "<prefix> WINSOCK error <n>").
void TcpErrorSet(CommHandle *h, const char *prefix, int error);
// TcpErrorSet, after rebuilding the connection when the error calls for it.
// prefix is "Send " or "Recv ".
void TcpFail(CommHandle *h, const char *prefix, int error);
// Connects a new socket to the kept address, waiting no longer than the reply
// timeout, in 10 ms polls that call the idle hook. 1 when connected; else 0
// with no socket and the text set ("Connect " and the error, or
// "Application idle abort"), after one idle tick, so that a program retrying
// in a loop does not spin.
int TcpConnect(CommHandle *h);
// Replaces the socket by a new connection to the kept address (TcpConnect).
// A connection that cannot be made leaves no socket: the next operation
// tries again before its request goes out.
int TcpReconnect(CommHandle *h);

// Opens a TCP handle of the kind: resolves, connects, switches to non-blocking.
CommHandle *TcpOpen(const char *host, unsigned port, int unit, int kind);

// Throws away whatever the peer sent before this request. A connection found
// closed or reset here, or none at all, is rebuilt before the request goes
// out; 0 with the text set when that fails.
int TcpDrain(CommHandle *h);
// Sends the whole request; 0 with the "Send " error text on failure.
int TcpSend(CommHandle *h, const uint8_t *data, int length);

// Says how many bytes the reply being received has in all, judging by the
// have bytes already in: more than have when it needs more, have when it is
// complete, -1 when the bytes cannot start a valid reply (text set in h).
typedef int (*ReplySize)(CommHandle *h, const uint8_t *reply, int have);
// Receives one reply into reply (TCP_REPLY_ROOM bytes). Each pass that ends
// without the whole reply counts one poll against the handle's reply timeout
// and calls the idle hook after an empty receive. Returns the reply's length,
// or 0 with the text set ("Reply timeout", "Application idle abort", a "Recv " text).
int TcpReceive(CommHandle *h, uint8_t *reply, ReplySize size, int *polls);
