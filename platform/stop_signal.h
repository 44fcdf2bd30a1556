// The stop request of a long unattended run: the user's interrupt (Ctrl+C) or
// the system's request to end the program sets one flag, which the run reads
// between its steps and so ends on a whole step. Installing it replaces the
// default action of those signals (the program would die mid-write).
#pragma once

// Starts catching the interrupt and terminate requests; true when in place.
bool StopSignalInstall(void);
// True once a stop was requested since StopSignalInstall.
bool StopRequested(void);
