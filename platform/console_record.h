// The recording console: a console for tests that keeps every cursor move,
// colour change and write, keeps an 80 by 25 picture of what a terminal would
// show, and reads its keys from a buffer of raw terminal bytes (escape
// sequences included, decoded as from a real terminal).
#pragma once

#include <string>
#include <vector>

// What one console call did.
enum ConsoleEventKind {
    CE_OPEN,
    CE_CLOSE,
    CE_MOVE,
    CE_COLOUR,
    CE_WRITE,
    CE_CLEAR,
    CE_CURSOR,
    CE_BELL
};

struct ConsoleEvent {
    ConsoleEventKind kind;
    int row, column;  // the cursor at the call (for CE_MOVE, the new place)
    int value;        // colour (CE_COLOUR, and the colour of a write or clear), count, visibility
    std::string text; // the characters of CE_WRITE
};

// Selects the recording console, empty: no events, blank picture, no input.
void ConsoleRecordStart(void);
// Selects the terminal console again.
void ConsoleRecordStop(void);
// Adds raw terminal bytes to the input.
void ConsoleRecordInput(const std::string &bytes);
// The events since the start or the last ConsoleRecordForget.
const std::vector<ConsoleEvent> &ConsoleRecordEvents(void);
// Forgets the events so far (the picture stays).
void ConsoleRecordForget(void);
// Counts the events of one kind.
int ConsoleRecordCount(ConsoleEventKind kind);
// The character and colour the picture holds at a 0-based place.
int ConsoleRecordChar(int row, int column);
int ConsoleRecordColour(int row, int column);
// One row of the picture as text (80 characters).
std::string ConsoleRecordRow(int row);
// Whether the console is taken over, and whether its cursor is shown.
bool ConsoleRecordOpen(void);
bool ConsoleRecordCursorShown(void);
// How many times a key was waited for with no input left (each gave ESC).
int ConsoleRecordStarved(void);
