// A paced cable: two serial ends joined so that bytes cross no faster than a
// real line at a given baud rate.
//
// Each end is either a new pty pair of our own, linked by name (for example
// DIR/COM1, which the communications library opens as "COM1:"), or an existing
// terminal opened by path (for example the link a simulator made). Each way has
// its own clock: a byte read from one end goes out of the other end when the
// line would have finished sending it, one character time after the later of
// its arrival and the end of the byte before. A far end that does not read
// holds the bytes back, as a line with flow control would.
#pragma once
#include <string>

struct PacedCable;

// One end of the cable: link names a new pty pair (its slave is the end a
// program opens); open names a terminal to open instead. Exactly one is given.
struct CableEnd {
    std::string link;
    std::string open;
};

struct CableOptions {
    CableEnd a, b;
    int baud = 9600;
    int bitsPerChar = 11; // start, 8 data, parity, stop
};

// Makes both ends and starts carrying bytes on a thread of its own; null with
// *error set when an end cannot be made.
PacedCable *CableStart(const CableOptions &o, std::string *error);
// The slave path of end 0 (a) or 1 (b): the pty slave for a linked end, the
// path opened for the other kind.
const char *CableEndPath(const PacedCable *c, int end);
// Bytes carried from a to b (way 0) and from b to a (way 1) so far.
long CableCarried(const PacedCable *c, int way);
// Stops the thread, removes the links and closes every descriptor.
void CableStop(PacedCable *c);
// Nanoseconds one character takes on the line.
long long CableCharNs(int baud, int bitsPerChar);
