// Placeholder until data load, unload and conversion are built.
#include "configurator/actions.h"
#include "screen/screen.h"

void LoadDataFile(bool, int) { ShowError("Data load is not available yet"); }
void UnloadDataFile(int) { ShowError("Data unload is not available yet"); }
void ConvertDataFile(int) { ShowError("Conversion is not available yet"); }
