// Placeholder until erase, backup, restore and the register viewer are built.
#include "configurator/actions.h"
#include "screen/screen.h"

void EraseModuleFile(void) { ShowError("Erase is not available yet"); }
void BackupModule(void) { ShowError("Backup is not available yet"); }
void RestoreModule(void) { ShowError("Restore is not available yet"); }
void ViewModuleRegisters(void) { ShowError("The register viewer is not available yet"); }
