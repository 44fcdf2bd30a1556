// Private link between the console dispatch and the terminal console.
#pragma once

// True once after the program was resumed or the terminal was resized, when
// the screen should be redrawn (and the terminal is big enough again).
bool TerminalTakeRepaintRequest(void);
// The terminal's input is gone (hang-up, end of file): gives the terminal back and ends the
// program.
[[noreturn]] void TerminalInputGone(void);
// Maps a code page 437 byte to its UTF-8 form; returns the byte count (1 to 3).
int Cp437ToUtf8(unsigned char c, char *out);
