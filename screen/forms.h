// Typed data-entry fields and forms.
//
// A form is a table of FormField records. Each names a place on the screen,
// a width, a DataType that says how the value is stored, typed, shown and
// checked, the variable holding the value, and a flag word (EditField and
// PutField flags). AcceptField edits one field: it formats the stored value,
// lets the user edit it under the type's character mask, parses and checks
// the text and stores it; EditForm walks the user through a range of fields.
#pragma once

#include <cstdint>

// DataType codes. A negative code is the same type with an empty entry allowed.
// The set of types is the given one, kept whole; the programs use 3 (CHOICE, USHORT, NUMLIST).
constexpr int DT_CHOICE = 0;        // int16_t index into the null-ended list in extra
constexpr int DT_TEXT = 1;          // char[width + 1], printable, not empty
constexpr int DT_USHORT = 2;        // uint16_t
constexpr int DT_UINT = 3;          // uint32_t
constexpr int DT_ULONG = 4;         // uint32_t
constexpr int DT_SHORT = 5;         // int16_t
constexpr int DT_INT = 6;           // int32_t
constexpr int DT_LONG = 7;          // int32_t
constexpr int DT_MONEY = 8;         // uint32_t hundredths, shown 12.50
constexpr int DT_SMONEY = 9;        // int32_t hundredths, shown -12.50
constexpr int DT_PHONE = 10;        // char[11]: 7 or 10 digits
constexpr int DT_DATE = 11;         // uint32_t seconds from 1970 to the date's midnight
constexpr int DT_ZIP = 12;          // uint32_t: 5 or 9 digits
constexpr int DT_STATE = 13;        // int16_t index 1 to 51 of the two-letter codes
constexpr int DT_TENTHS = 14;       // uint32_t tenths
constexpr int DT_SSN = 15;          // char[10]: 9 digits
constexpr int DT_ID9 = 16;          // uint32_t of 9 digits, shown 12-345-6789
constexpr int DT_FOURDEC = 17;      // uint32_t ten-thousandths
constexpr int DT_STENTHS = 18;      // int32_t tenths
constexpr int DT_STHOUSANDTHS = 19; // int32_t thousandths
constexpr int DT_THOUSANDTHS = 20;  // uint32_t thousandths
constexpr int DT_TIME = 21;         // uint32_t seconds of the day
constexpr int DT_PHONE7 = 22;       // uint32_t of 7 digits, shown 555-1234
constexpr int DT_DIGITS = 25;       // char[width + 1] of digits
constexpr int DT_NUMLIST = 28;      // uint16_t[9]: a count, then up to 8 numbers

// A number list holds at most this many numbers after its count.
constexpr int NUMLIST_MAX = 8;
// Width of a number list's field.
constexpr int NUMLIST_WIDTH = 31;
// The widest field; texts are cut to it.
constexpr int FORM_TEXT_MAX = 132;
// Field flag: show the value zero-filled (also overwrite mode while editing).
constexpr int FF_ZEROFILL = 0x10000;

// One field of a form.
struct FormField {
    int16_t row;       // 1-based screen row
    int16_t column;    // 1-based screen column
    int16_t width;     // cells; for texts also the stored text's limit
    int16_t dataType;  // DT_* (negative: an empty entry is accepted)
    void *value;       // the variable, in the type's storage
    const void *extra; // DT_CHOICE: const char ** list; others: a FieldCheck or null
    int32_t flags;     // EditField and PutField flags
};

// A field's check, called after a good parse with the new value in place;
// non-zero accepts the value. It reports its own refusals.
typedef int (*FieldCheck)(void *value, int width, const FormField *field);

// True for the DataType codes that exist (the sign aside).
int DataTypeValid(int dataType);

// Bytes of storage a value of the type takes (texts: width + 1); 0 when illegal.
int ValueSize(int dataType, int width);

// Formats the value as the type shows it into buffer (at least width + 1
// bytes, width 1 to 132), cut to width. Returns 1, or 0 with an empty text
// when the value cannot be shown (out of the type's range, an illegal type,
// or DT_CHOICE, whose texts are the field's own).
int FormatValue(char *buffer, const void *value, int dataType, int width);

// Reads text as the type accepts it and stores the value; returns 1, or 0
// when the text is refused, leaving the value as it was. Types that drop
// non-digits drop them from text itself. An empty text is 0 for the
// fixed-decimal types and leaves DT_DIGITS and DT_NUMLIST unchanged; other
// types refuse it.
int ParseValue(void *value, char *text, int dataType, int width);

// Edits one field and returns the key that ended it; flags add to the
// field's own. Every exit key stores an entry that reads well (ESC without
// running the field's check). ENTER on a refused entry edits it again; any
// other key leaves the stored value as it was and shows it. An empty entry in
// a field of negative DataType is accepted unchecked.
int AcceptField(FormField *field, const char *terminators, int flags);

// Shows one field's stored value without editing.
void ShowField(const FormField *field, int flags);
// Shows the fields first to last of a table.
void ShowFields(const FormField *fields, int first, int last, int flags);

// Runs a form over the fields first to last from start; Down and Up (always
// terminators) and ENTER move between fields. Returns Down on the last field,
// Up on the first, ENTER on the last, or any other terminator that ended a field.
int EditForm(FormField *fields, int first, int last, int start, const char *terminators, int flags);

// Edits a choice in place: N, n and - step back, Left back with wrap-around,
// Right and space forward with wrap-around, +, S, s, Y and y forward; a
// terminator (ESC too, when it is one) stores the index and ends. Returns
// the terminator, or ESC without storing when input has ended.
int EditChoice(int row, int column, const char **list, int16_t *index, const char *terminators,
               int flags);
// Shows list[index] in a field of width cells, or "INVALID" when there is none.
void ShowChoice(int row, int column, const char **list, int index, int width, int flags);

// Edits a number list (list[0] the count, then the numbers) as comma-separated
// numbers in a field of 31 cells; returns ENTER, ESC, Down or Up.
int EditNumberList(int row, int column, uint16_t *list, int flags);
// Shows a number list, "NONE" when it is empty.
void ShowNumberList(int row, int column, const uint16_t *list, int flags);

// Seconds from 1 January 1970 to the time given; year is two digits, 70 to 99.
uint32_t DateToSeconds(int seconds, int minutes, int hours, int day, int month, int year);
// The date of a count of seconds from 1970 (year in full, 1970 on).
void SecondsToDate(uint32_t seconds, int *day, int *month, int *year);
// Days in a month (1 to 12) of a year (full or two-digit; leap when divisible by 4).
int DaysInMonth(int month, int year);
