// Moving the configuration between the module and the PC image, and the
// module's lock register.
#pragma once

// Reads the module's configuration into the PC image (rack interface via the
// PLC port, configuration area via the front panel) and validates it; true on
// a clean fetch. A fetch that fails on the link leaves the image as it was.
bool FetchConfig(void);
// Sends the PC image through the configure and activation handshakes; true
// when the module took it. unlockTried: the unlock offer was already made;
// offerLock: ask "Lock configuration?" after success (front panel only).
bool SendConfig(bool unlockTried, bool offerLock);
// Reads the lock register, sets and clears the bits given and writes it back;
// writes nothing when the read failed.
bool ModifyLockRegister(unsigned setBits, unsigned clearBits);
