// The main screen, the menu bar loop and the command-line keystrokes.
#pragma once

#include "screen/screen.h"

#include <string>

// The fixed texts of the main screen.
extern const ScreenText MainScreenTexts[];
// The menu table: each menu's title and items, a null after each menu, a
// second null at the end.
extern const char *MainMenu[];

// The keystrokes of one command-line argument: "/R" Enter, "/E" ESC, "/D"
// DEL (either case); any other letter after a slash is dropped and the slash
// meets the next character. A slash before anything but a letter stays as
// typed; a slash left at the end of the argument is dropped.
// Arguments of any length are taken (the type-ahead holds what does not fit).
std::string CommandLineKeys(const char *argument);
// Queues the keystrokes of every argument after the program name.
void QueueCommandLineKeys(int argc, char **argv);
// Carries out the action of a menu code; false for "Quit".
bool RunMenuAction(int code);
// Runs the menu bar until "Quit".
void RunMenuLoop(void);
