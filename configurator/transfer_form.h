// The form of data load and unload: module file, data file, window, and for
// sequential loads and unloads the starting record and record count; and
// the pieces the transfers share (progress line, result, abort).
#pragma once

#include <cstdint>

struct ScreenWindow;

// What the form asks for.
enum TransferFormKind {
    TF_LOAD_SEQUENTIAL,
    TF_LOAD_KEYED,
    TF_UNLOAD,
};

// The choices on the form: indexes as selected, the record numbers clamped
// to the chosen file, and the data file's name with its extension ("" when
// none was picked).
struct TransferChoice {
    int fileIndex;
    int windowIndex;
    long start;
    long count;
    char name[16];
};

// Clamps the window, starting record and count to the chosen file of the
// PC image (start at most maxRecord, count at most maxRecord + 1 and 65536).
void ClampTransferChoice(TransferChoice *c);

// Fills a fresh choice: the first file, window 1, starting record 0 and
// count 65536, as the form opens; the form's field 1 clamps them.
void FirstTransferChoice(TransferChoice *c);

// Opens the form's window (row 6, column 18 to row 13, column 63) with the
// title and runs the fields from the first. True when the user went on (F1 or
// past the last field), false after ESC or when the picker was left without
// a name. The window is left open in *window either way.
bool RunTransferForm(TransferFormKind kind, int type, const char *title, TransferChoice *c,
                     ScreenWindow **window);

// Shows the progress count at row 12, column 20 in 5 columns.
void ShowTransferCount(long records);

// Ends a transfer that never started, or went wrong before its first record:
// window access ended, the form closed, "TRANSFER ABORTED" shown.
void AbortTransfer(ScreenWindow **window);

// Ends a transfer the user declined at the confirmation: the form closed,
// no records reported as transferred.
void DeclineTransfer(ScreenWindow **window);

// Ends a transfer that ran: the pass ended (PassEnd); after ESC "TRANSFER
// ABORTED"; otherwise the reason it stopped early (why, when there is one)
// and the count of records.
void EndTransfer(ScreenWindow **window, long records, const char *why);
