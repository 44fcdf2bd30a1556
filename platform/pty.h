// Pseudo-terminal pairs: the far end of a serial link for simulators and tests.
//
// PtyOpen makes a master/slave pair with both sides in raw mode and keeps the
// slave open itself, so the master stays readable while a program opens and
// closes the slave path. PtyLink puts a symlink (for example "COM1" in a
// directory) to the slave, which is how the communications library finds a
// "COM1:" port: it opens the file of that name in the current directory.
#pragma once

enum { PTY_PATH_SIZE = 256 };

struct PtyPair {
    int master;                    // -1 when closed
    int slave;                     // our own descriptor of the slave, -1 when closed
    char slavePath[PTY_PATH_SIZE]; // "/dev/pts/N"
    char linkPath[PTY_PATH_SIZE];  // the symlink made by PtyLink, "" when none
};

// Opens a pair in raw mode; 1 on success, 0 with p->master == -1 on failure.
int PtyOpen(PtyPair *p);
// Creates a symlink at linkPath pointing at the slave (an existing symlink of
// that name is replaced, any other file is left alone); 1 on success, 0 on failure.
int PtyLink(PtyPair *p, const char *linkPath);
// Removes the link (if any) and closes both descriptors. Safe to call twice.
void PtyClose(PtyPair *p);
