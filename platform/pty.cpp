// Pseudo-terminal pairs for simulators and tests (see pty.h).
#include "platform/pty.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

// Raw 8-bit mode: no echo, no line editing, no character translation.
static int pty_make_raw(int fd) {
    termios t;
    if (tcgetattr(fd, &t) != 0)
        return 0;
    cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

int PtyOpen(PtyPair *p) {
    p->master = -1;
    p->slave = -1;
    p->slavePath[0] = 0;
    p->linkPath[0] = 0;
    int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0)
        return 0;
    char name[PTY_PATH_SIZE];
    if (grantpt(m) != 0 || unlockpt(m) != 0 || ptsname_r(m, name, sizeof name) != 0) {
        close(m);
        return 0;
    }
    int s = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s < 0 || !pty_make_raw(s) || !pty_make_raw(m)) {
        if (s >= 0)
            close(s);
        close(m);
        return 0;
    }
    p->master = m;
    p->slave = s;
    snprintf(p->slavePath, sizeof p->slavePath, "%s", name);
    return 1;
}

int PtyLink(PtyPair *p, const char *linkPath) {
    if (p->master < 0 || linkPath == nullptr || linkPath[0] == 0 ||
        strlen(linkPath) >= PTY_PATH_SIZE)
        return 0;
    struct stat st;
    if (lstat(linkPath, &st) == 0) {
        // A stale link from an earlier run is ours to replace; a real file is not.
        if (!S_ISLNK(st.st_mode) || unlink(linkPath) != 0)
            return 0;
    }
    if (symlink(p->slavePath, linkPath) != 0)
        return 0;
    snprintf(p->linkPath, sizeof p->linkPath, "%s", linkPath);
    return 1;
}

void PtyClose(PtyPair *p) {
    if (p->linkPath[0] != 0) {
        unlink(p->linkPath);
        p->linkPath[0] = 0;
    }
    if (p->slave >= 0)
        close(p->slave);
    if (p->master >= 0)
        close(p->master);
    p->slave = -1;
    p->master = -1;
}
