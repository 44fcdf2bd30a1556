// The small dialogues of the main menu and the helpers every action shares.
#pragma once

#include "configurator/state.h"

// Data-file type codes and their extensions.
constexpr int TYPE_HEX = 1;
constexpr int TYPE_BIN = 2;
constexpr int TYPE_DEC = 3;
// ".HEX", ".BIN" or ".DEC" for a type code 1..3.
const char *DataFileExtension(int type);

// A result line: row 10, column 20, 40 columns, centred, in reverse.
void ShowSuccess(const char *text);
void ShowSuccessF(const char *format, ...) __attribute__((format(printf, 1, 2)));
// True when a file of that name can be opened for reading.
bool FileExists(const char *name);

// The caption, then "Hex file" / "Binary file" / "Decimal file"; 1..3 or 0.
int FileTypeMenu(const char *caption);
// Picks and deletes files of the extension until the picker is left.
void DeleteFileDialog(const char *extension, const char *title);
// The backup and restore dialogue: row 10 cleared, a framed window from row
// 10, column 20 to row 13, column 58 with the title, the caption at row 11,
// column 22.
struct ScreenWindow;
ScreenWindow *OpenBackupDialog(const char *title, const char *caption);
// True when connected via the front panel; otherwise shows why not.
bool FrontPanelGuard(void);
