// Standard output as a byte stream: what the program writes arrives as it is
// written, line ends included (a CSV row ends in CR LF of its own).
#pragma once

// Puts standard output in binary mode where the system has a text mode.
void StdoutBinary(void);
