// Console service of the screen library.
//
// The screen library draws and reads keys only through these functions. They
// go to the current console, a plain table of operations: the terminal one
// (ANSI output, termios raw input, the alternate screen) unless a test has
// selected another, such as the recording console of console_record.h.
//
// Colours are the console attribute bytes of the screen library's table
// (0x17 grey on blue and so on); characters are code page 437 bytes.
// Keys come out as the bytes a PC console reader gives: an ordinary key as
// itself, an extended key as the lead byte 0 followed by its scan code.
#pragma once

#include <cstddef>

// The console operations; positions are 0-based.
struct ConsoleOps {
    int (*open)(void);                           // take over; 0 ok, -1 unusable
    void (*close)(void);                         // give the terminal back
    void (*move)(int row, int column);           // place the cursor
    void (*colour)(int attr);                    // set the colour for what follows
    void (*write)(const char *chars, int count); // write at the cursor, which advances
    void (*clear)(int count);                    // count blanks in the colour from the cursor
    void (*cursor)(int visible);                 // show or hide the cursor
    void (*bell)(void);                          // sound the bell
    void (*flush)(void);                         // send what is buffered
    // Reads up to size raw input bytes; waits up to timeout_ms (-1 for ever).
    // Returns the count, 0 when the time ran out or a signal came.
    int (*read_raw)(unsigned char *buf, int size, int timeout_ms);
    // 1 when read_raw gives key bytes already (a PC console's: an extended key
    // as 0 and its scan code), 0 when it gives terminal bytes to be decoded.
    int key_bytes;
};

// Selects the console the functions below use; null selects the terminal.
void ConsoleSelect(const ConsoleOps *ops);
// The system's own console: the terminal one on POSIX, the Win32 console on Windows.
const ConsoleOps *ConsoleTerminal(void);

// Takes the console over; -1 (with a message on stderr) when it cannot be used.
int ConsoleOpen(void);
// Gives the console back; does nothing when it is not taken.
void ConsoleClose(void);
// Places the cursor at a 0-based position.
void ConsoleMove(int row, int column);
// Sets the console colour (attribute byte) for what follows.
void ConsoleColour(int attr);
// Writes count characters at the cursor.
void ConsoleWriteChars(const char *chars, int count);
// Writes count blanks in the current colour from the cursor.
void ConsoleClearCells(int count);
// Shows (1) or hides (0) the cursor.
void ConsoleCursor(int visible);
// Sounds the bell.
void ConsoleBell(void);
// Sends buffered output to the console.
void ConsoleFlush(void);

// True when a key byte is waiting (an incomplete escape sequence is given its
// short time to complete first).
int ConsoleKeyWaiting(void);
// Waits for the next key byte (0 lead bytes included, see above).
int ConsoleGetch(void);
// Drops any key bytes decoded but not yet read, and the decoder's state.
void ConsoleDiscardKeys(void);

// Called at a safe point (inside ConsoleGetch) after the program was resumed
// from a stop or the terminal changed size, so the screen can be redrawn.
void ConsoleSetRepaintHook(void (*hook)(void));

// The terminal console's counters for benchmarks: bytes it sent so far.
size_t ConsoleBytesSent(void);
// Makes the terminal console read and write other descriptors than standard
// input and output (-1: back to those), e.g. a pty in tests and benchmarks.
void ConsoleSetTerminalFds(int input_fd, int output_fd);
