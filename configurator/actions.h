// The menu actions of the configurator, one file each.
#pragma once

// "Edit configuration in PC memory".
void EditConfig(void);
// ".VRX" configuration files.
bool LoadConfigFile(void);
void SaveConfigFile(void);
// The printed configuration and rack interface map.
void PrintConfigReport(void);
void PrintMapReport(void);
// Sequential or keyed load of a data file of a type (1 hex, 2 binary, 3 decimal).
void LoadDataFile(bool keyed, int type);
// Unload of a module file to a data file of a type.
void UnloadDataFile(int type);
// Record length conversion of a data file of a type.
void ConvertDataFile(int type);
// Erase of a module file.
void EraseModuleFile(void);
// Backup of the whole module to a ".740" file, and its restore.
void BackupModule(void);
void RestoreModule(void);
// The module register viewer.
void ViewModuleRegisters(void);
