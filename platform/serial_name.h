// Port names as the user gives them: "COM1:" to "COM255:" and on, in any case.
#pragma once

// The port number of a "COMn" name: its first 7 characters, folded to
// capitals and ended at a colon, are "COM" and decimal digits of a number of
// 1 or more. 0 when the name is no port name. device (8 bytes, may be null)
// gets that folded name ("COM1" for "com1:").
int SerialComNumber(const char *name, char *device = nullptr);
