// Code page 437, the character set the screens draw in, to Unicode: box lines
// and signs come out right whatever code page the console is set to.
#pragma once

// The Unicode character of a code page 437 byte; control bytes give their
// glyphs (a smiley for 1 and so on) and 0 gives a blank.
unsigned Cp437ToUnicode(unsigned char c);
