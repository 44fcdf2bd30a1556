// Menus: the menu bar with its pull-downs, and pop-up lists.
//
// Both select by the arrows and ENTER, or by typing an item's selection
// letter: its first capital A to Z. Every capital of an item is shown
// highlighted. The file picker (picker.h) and the typed forms (forms.h) are
// declared in their own headers, included at the end of this one.
#pragma once

#include <cstdint>

// At most this many groups on a menu bar; a table with more shows the first ones.
constexpr int MENU_MAX_GROUPS = 9;

// The selection letter of a text (its first capital A to Z), or 0 when it has none.
int MenuLetter(const char *text);

// Columns (1-based) of n titles spread across the 80-column bar: the first at
// column 1, the gap (80 minus their total length) / (n - 1), rounded down, at
// least 1. Returns the gap.
int MenuBarLayout(const char *const *titles, int n, int *columns);

// Shows the items (null-ended) in a framed list at top, left, starting on
// item initial (1-based, clamped), and returns the chosen item (1-based), or
// 0 for ESC or F1. With sidekeys, Left and Right leave the list towards the
// neighbouring pull-down of a menu bar (ESC, the arrow and a line feed are
// put into the type-ahead).
int PopupMenu(const char **items, int top, int left, int initial, int sidekeys);

// Runs the bar made from a menu table (groups of a title, its items and a
// null; a second null ends the table) on a row, opening each group's
// pull-down, and returns group x 100 + item (group x 100 for a group without
// items), or 0 for ESC or F1. initial is the last result, to start from.
int MenuBar(const char **table, int row, int initial);

// The bar itself: titles (null-ended) on a row, starting on group initial
// (1-based, clamped). Returns the group chosen with ENTER or its letter, the
// negative of the group reached with a line feed, or 0 for ESC or F1.
int MenuBarSelect(const char **titles, int row, int initial);

#include "screen/forms.h"
#include "screen/picker.h"
