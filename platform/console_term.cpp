// The terminal console: ANSI output on the alternate screen, raw termios input.
//
// Take-over enters the alternate screen, turns off auto-wrap and the cursor
// and puts the input in raw mode (signals stay on, so Ctrl-C and Ctrl-Z work).
// Give-back undoes each of these. The give-back runs from ConsoleClose, from
// the at-exit handler and from the handlers of the ending signals, so no way
// out leaves a raw or cursorless terminal; Ctrl-Z gives the terminal back
// while the program is stopped and takes it again when it goes on.
#include "platform/console_term.h"
#include "platform/console.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int ROWS = 25;
constexpr int COLUMNS = 80;
constexpr char TAKE[] = "\x1b[?1049h\x1b[?7l\x1b[?25l\x1b[H";
constexpr char GIVE[] = "\x1b[0m\x1b[?7h\x1b[?25h\x1b[?1049l";
constexpr char TOO_SMALL[] =
    "\x1b[0m\x1b[2J\x1b[HThis program needs a terminal of at least 80 columns by 25 rows.";

int input_fd = 0;
int output_fd = 1;
size_t bytes_sent = 0;

volatile sig_atomic_t taken = 0;
volatile sig_atomic_t repaint_request = 0;
volatile sig_atomic_t resized = 0;
bool have_tio = false;
struct termios saved_tio;
struct termios raw_tio;
bool handlers_installed = false;
bool too_small = false;

char out_buf[16384];
size_t out_len = 0;

// Where the library means to write (lrow, lcol) and where the terminal's
// cursor really is (trow, tcol; -1 when unknown); colour and cursor state as sent.
int lrow = 0, lcol = 0;
int trow = -1, tcol = -1;
int cur_attr = -1;
int cursor_vis = -1;

void send_all(const char *data, size_t len) {
    while (len > 0) {
        ssize_t n = write(output_fd, data, len);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return;
        }
        bytes_sent += (size_t)n;
        data += n;
        len -= (size_t)n;
    }
}

void out_flush() {
    send_all(out_buf, out_len);
    out_len = 0;
}

void out_append(const char *data, size_t len) {
    if (out_len + len > sizeof out_buf)
        out_flush();
    std::memcpy(out_buf + out_len, data, len);
    out_len += len;
}

void out_str(const char *s) {
    out_append(s, std::strlen(s));
}

void out_fmt(const char *format, ...) __attribute__((format(printf, 1, 2)));
void out_fmt(const char *format, ...) {
    char text[32];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0)
        out_append(text, (size_t)n < sizeof text ? (size_t)n : sizeof text - 1);
}

// Async-signal-safe give-back: raw writes and tcsetattr only.
void give_back_now() {
    if (!taken)
        return;
    ssize_t ignored = write(output_fd, GIVE, sizeof GIVE - 1);
    (void)ignored;
    if (have_tio)
        tcsetattr(input_fd, TCSADRAIN, &saved_tio);
    taken = 0;
}

void take_now() {
    if (have_tio)
        tcsetattr(input_fd, TCSADRAIN, &raw_tio);
    ssize_t ignored = write(output_fd, TAKE, sizeof TAKE - 1);
    (void)ignored;
    taken = 1;
}

// What each ending signal did before we took it (the default, or a handler
// of the runtime such as a sanitizer's); it is put back and the signal raised
// again, so the program ends as it would have, with the terminal given back.
struct sigaction previous[NSIG];

void on_ending_signal(int sig) {
    int saved_errno = errno;
    give_back_now();
    sigaction(sig, &previous[sig], nullptr);
    raise(sig); // delivered once this handler returns
    errno = saved_errno;
}

void on_stop(int) {
    int saved_errno = errno;
    bool was_taken = taken;
    give_back_now();
    // SIGSTOP stops even a process whose group has no shell left to stop it
    // for (an orphaned group ignores a second SIGTSTP); a shell sees the stop alike.
    raise(SIGSTOP); // the process stops here and goes on after SIGCONT
    if (was_taken) {
        take_now();
        repaint_request = 1;
    }
    errno = saved_errno;
}

void on_resize(int) {
    resized = 1;
}

void at_exit() {
    if (!taken)
        return;
    out_flush();
    give_back_now();
}

void install_handlers() {
    if (handlers_installed)
        return;
    handlers_installed = true;
    std::atexit(at_exit);
    const int ending[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV,
                          SIGBUS, SIGFPE,  SIGILL, SIGABRT};
    for (int sig : ending) {
        struct sigaction sa;
        std::memset(&sa, 0, sizeof sa);
        sa.sa_handler = on_ending_signal;
        sigemptyset(&sa.sa_mask);
        sigaction(sig, &sa, &previous[sig]);
    }
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sigemptyset(&sa.sa_mask);
    sa.sa_handler = on_stop;
    sigaction(SIGTSTP, &sa, nullptr);
    sa.sa_handler = on_resize;
    sigaction(SIGWINCH, &sa, nullptr);
}

// The terminal's size; false when it cannot be told (not a terminal).
bool terminal_size(int *rows, int *columns) {
    struct winsize ws;
    if (ioctl(output_fd, TIOCGWINSZ, &ws) != 0)
        return false;
    if (ws.ws_row == 0 || ws.ws_col == 0)
        return false;
    *rows = ws.ws_row;
    *columns = ws.ws_col;
    return true;
}

void forget_terminal_state() {
    trow = tcol = -1;
    cur_attr = -1;
    cursor_vis = -1;
}

void sync_position() {
    if (trow == lrow && tcol == lcol)
        return;
    out_fmt("\x1b[%d;%dH", lrow + 1, lcol + 1);
    trow = lrow;
    tcol = lcol;
}

int term_open() {
    if (taken)
        return 0;
    int rows, columns;
    if (terminal_size(&rows, &columns) && (rows < ROWS || columns < COLUMNS)) {
        std::fprintf(stderr,
                     "This program needs a terminal of at least 80 columns by 25 rows; "
                     "this one has %d columns by %d rows.\n",
                     columns, rows);
        return -1;
    }
    have_tio = tcgetattr(input_fd, &saved_tio) == 0;
    if (have_tio) {
        raw_tio = saved_tio;
        raw_tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
        raw_tio.c_lflag &= ~(ECHO | ECHONL | ICANON | IEXTEN);
        raw_tio.c_cflag = (raw_tio.c_cflag & ~(CSIZE | PARENB)) | CS8;
        raw_tio.c_cc[VMIN] = 1;
        raw_tio.c_cc[VTIME] = 0;
    }
    install_handlers();
    out_flush();
    take_now();
    bytes_sent += sizeof TAKE - 1;
    too_small = false;
    lrow = lcol = 0;
    forget_terminal_state();
    trow = tcol = 0;
    cursor_vis = 0;
    return 0;
}

void term_close() {
    if (!taken)
        return;
    out_flush();
    give_back_now();
}

void term_move(int row, int column) {
    lrow = row < 0 ? 0 : (row >= ROWS ? ROWS - 1 : row);
    lcol = column < 0 ? 0 : column;
}

int ansi_index(int c) {
    return ((c & 1) << 2) | (c & 2) | ((c & 4) >> 2);
}

void term_colour(int attr) {
    if (attr == cur_attr)
        return;
    cur_attr = attr;
    int fg = attr & 15;
    int bg = (attr >> 4) & 7;
    out_fmt("\x1b[%d;%dm", ((fg & 8) ? 90 : 30) + ansi_index(fg & 7), 40 + ansi_index(bg));
}

void term_write(const char *chars, int count) {
    int visible = lcol < COLUMNS ? COLUMNS - lcol : 0;
    if (visible > count)
        visible = count;
    if (visible > 0 && !too_small) {
        sync_position();
        for (int i = 0; i < visible; i++) {
            char utf8[4];
            out_append(utf8, (size_t)Cp437ToUtf8((unsigned char)chars[i], utf8));
        }
        tcol += visible;
        // without auto-wrap the cursor sticks at the last column
        if (tcol >= COLUMNS)
            trow = tcol = -1;
    }
    lcol += count;
}

// Blanks count cells from the cursor in the current colour, row by row, with
// the erase-characters sequence: it keeps the cursor where it is and, unlike
// erase-in-display, paints every cell it names on each terminal we know.
void term_clear(int count) {
    if (too_small || lcol >= COLUMNS)
        return;
    int row = lrow, column = lcol;
    while (count > 0 && row < ROWS) {
        int cells = COLUMNS - column;
        if (cells > count)
            cells = count;
        if (trow != row || tcol != column)
            out_fmt("\x1b[%d;%dH", row + 1, column + 1);
        trow = row;
        tcol = column;
        out_fmt("\x1b[%dX", cells);
        count -= COLUMNS - column;
        row++;
        column = 0;
    }
}

void term_cursor(int visible) {
    if (visible == cursor_vis)
        return;
    cursor_vis = visible;
    out_str(visible ? "\x1b[?25h" : "\x1b[?25l");
}

void term_bell() {
    out_str("\x07");
}

void term_flush() {
    if (!too_small && cursor_vis == 1 && lcol < COLUMNS)
        sync_position();
    out_flush();
}

int term_read_raw(unsigned char *buf, int size, int timeout_ms) {
    struct pollfd p = {input_fd, POLLIN, 0};
    int r = poll(&p, 1, timeout_ms);
    if (r <= 0)
        return 0; // time-out, or a signal came (the caller looks for repaints)
    ssize_t n = read(input_fd, buf, (size_t)size);
    if (n > 0)
        return (int)n;
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return 0;
    return -1;
}

const ConsoleOps terminal_ops = {
    term_open,   term_close, term_move,  term_colour,   term_write, term_clear,
    term_cursor, term_bell,  term_flush, term_read_raw, 0,
};

} // namespace

const ConsoleOps *ConsoleTerminal(void) {
    return &terminal_ops;
}

size_t ConsoleBytesSent(void) {
    return bytes_sent;
}

void ConsoleSetTerminalFds(int in_fd, int out_fd) {
    out_flush();
    input_fd = in_fd < 0 ? 0 : in_fd;
    output_fd = out_fd < 0 ? 1 : out_fd;
}

bool TerminalTakeRepaintRequest(void) {
    bool repaint = false;
    if (resized) {
        resized = 0;
        int rows, columns;
        bool small = terminal_size(&rows, &columns) && (rows < ROWS || columns < COLUMNS);
        if (small) {
            if (!too_small) {
                out_flush();
                out_str(TOO_SMALL);
                out_flush();
                too_small = true;
                forget_terminal_state();
            }
        } else {
            too_small = false;
            repaint = true;
        }
    }
    if (repaint_request) {
        repaint_request = 0;
        repaint = !too_small;
    }
    if (repaint)
        forget_terminal_state();
    return repaint;
}

void TerminalInputGone(void) {
    term_close();
    std::fprintf(stderr, "The terminal's input has closed.\n");
    std::exit(1);
}
