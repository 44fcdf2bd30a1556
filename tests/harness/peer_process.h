// A peer program started by a test: its standard input is a pipe the test
// holds (closing it tells the peer to end), its first output line is
// "READY <port>".
#pragma once
#include <sys/types.h>

struct PeerProcess {
    pid_t pid;
    int input;  // write end of the peer's standard input
    int output; // read end of the peer's standard output
    unsigned port;
};

// Starts argv[0] with its arguments and waits up to timeoutMs for "READY <port>".
// Returns 1 when the peer is ready; 0 (with everything cleaned up) otherwise.
int PeerStart(PeerProcess *p, const char *const *argv, int timeoutMs);
// Sends one line to the peer's standard input and reads its one-line answer.
int PeerCommand(PeerProcess *p, const char *line, char *answer, int room, int timeoutMs);
// Closes the peer's input and waits up to timeoutMs for it to end; a peer
// that does not end is killed (by its own process id). Returns its exit status or -1.
int PeerStop(PeerProcess *p, int timeoutMs);
