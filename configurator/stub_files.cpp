// Placeholder until the editor, configuration files and reports are built.
#include "configurator/actions.h"
#include "screen/screen.h"

void EditConfig(void) { ShowError("The editor is not available yet"); }
bool LoadConfigFile(void) {
    ShowError("Configuration files are not available yet");
    return false;
}
void SaveConfigFile(void) { ShowError("Configuration files are not available yet"); }
void PrintConfigReport(void) { ShowError("Reports are not available yet"); }
void PrintMapReport(void) { ShowError("Reports are not available yet"); }
