// Typed fields and forms: AcceptField, ShowField(s), EditForm.
#include "screen/forms.h"
#include "screen/screen.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// The characters a user may type into a field of each type.
const char *type_mask(int t) {
    switch (t) {
    case DT_TEXT:
        return " -~";
    case DT_USHORT:
    case DT_UINT:
    case DT_ULONG:
    case DT_DIGITS:
        return "0-9";
    case DT_SHORT:
    case DT_INT:
    case DT_LONG:
        return "0-9+-";
    case DT_MONEY:
    case DT_TENTHS:
    case DT_FOURDEC:
    case DT_THOUSANDTHS:
        return "0-9.";
    case DT_SMONEY:
    case DT_STENTHS:
    case DT_STHOUSANDTHS:
        return "0-9+.-";
    case DT_PHONE:
    case DT_SSN:
    case DT_ID9:
    case DT_PHONE7:
        return " 0-9()-";
    case DT_DATE:
        return "0-9/";
    case DT_ZIP:
        return "0-9-";
    case DT_STATE:
        return "A-Z";
    case DT_TIME:
        return "0-9:";
    default:
        return "";
    }
}

int width_of(const FormField *field) {
    int w = field->width;
    return w < 1 ? 1 : (w > FORM_TEXT_MAX ? FORM_TEXT_MAX : w);
}

int shown_fill(int f) {
    return (f & FF_ZEROFILL) ? '0' : ' ';
}

// Formats a field's stored value into text. A time past the day is reduced
// to the time of its day, and the field keeps the reduced value.
int value_format(char *text, const FormField *field, int t) {
    if (t == DT_TIME) {
        uint32_t v;
        memcpy(&v, field->value, sizeof v);
        v %= 86400;
        memcpy(field->value, &v, sizeof v);
    }
    return FormatValue(text, field->value, t, width_of(field));
}

// Shows the stored value of a non-choice field.
void value_show(const FormField *field, int t, int f) {
    if (t == DT_NUMLIST) {
        ShowNumberList(field->row, field->column, (const uint16_t *)field->value, f);
        return;
    }
    char text[FORM_TEXT_MAX + 1];
    value_format(text, field, t);
    PutField(text, field->row, field->column, width_of(field), shown_fill(f), f);
}

// Runs the field's check, if it has one, on the value now stored.
int value_check(FormField *field) {
    if (field->extra == nullptr)
        return 1;
    FieldCheck check = reinterpret_cast<FieldCheck>(const_cast<void *>(field->extra));
    return check(field->value, field->width, field) != 0;
}

} // namespace

int AcceptField(FormField *field, const char *terminators, int flags) {
    int f = flags | field->flags;
    int t = field->dataType < 0 ? -field->dataType : field->dataType;
    if (!DataTypeValid(t)) {
        // A wrong table is the program's fault: say so and leave the field.
        ShowError("Illegal DataType code passed to AcceptField");
        return KEY_ESC;
    }
    if (field->value == nullptr) {
        ShowError("Form field without a value passed to AcceptField");
        return KEY_ESC;
    }
    if (t == DT_CHOICE)
        return EditChoice(field->row, field->column, (const char **)field->extra,
                          (int16_t *)field->value, terminators, f);
    int width = width_of(field);
    char text[FORM_TEXT_MAX + 1];
    value_format(text, field, t); // a time is kept reduced to its day
    // The value as it was, put back when a check refuses the new one.
    std::vector<unsigned char> saved((size_t)ValueSize(t, width));
    memcpy(saved.data(), field->value, saved.size());
    int editFlags = f | (t == DT_STATE ? EF_UPPER : 0);
    bool retry = false;
    int key;
    for (;;) {
        int ok;
        bool blankOk = false;
        if (t == DT_NUMLIST) {
            // The list's own editor reads, refuses and stores.
            key = EditNumberList(field->row, field->column, (uint16_t *)field->value, f);
            ok = 1;
        } else {
            // A refused entry comes back as typed, the cursor at its end, for
            // the user to correct.
            if (!retry && !((f & EF_INITIAL) && value_format(text, field, t)))
                text[0] = '\0';
            int ef = retry ? ((editFlags | EF_INITIAL) & ~EF_REPLACE) : editFlags;
            key = EditField(text, field->row, field->column, width, '.', type_mask(t), terminators,
                            ef);
            if (key == KEY_NONE)
                break; // input has ended: the stored value stays
            // Every exit key reads the entry, ESC too; ESC only skips the
            // message and the check.
            blankOk = field->dataType < 0 && text[0] == '\0';
            ok = ParseValue(field->value, text, t, width);
            if (blankOk) {
                if (!ok)
                    memset(field->value, 0, saved.size()); // empty: nothing, zero
                ok = 1;
            } else if (!ok && key != KEY_ESC) {
                ShowError("Unacceptable format of data");
            }
        }
        if (ok && !blankOk && key != KEY_ESC && !value_check(field)) {
            ok = 0;
            memcpy(field->value, saved.data(), saved.size());
        }
        if (key != KEY_ENTER) {
            // A refused entry leaves the field: clear it, then the stored
            // value is shown again.
            if (!ok)
                PutField("", field->row, field->column, width, shown_fill(f), f);
            break;
        }
        if (ok)
            break;
        retry = t != DT_NUMLIST;
    }
    value_show(field, t, f);
    return key;
}

void ShowField(const FormField *field, int flags) {
    int f = flags | field->flags;
    int t = field->dataType < 0 ? -field->dataType : field->dataType;
    if (!DataTypeValid(t) || field->value == nullptr)
        return;
    if (t == DT_CHOICE) {
        ShowChoice(field->row, field->column, (const char **)field->extra,
                   *(const int16_t *)field->value, field->width, f);
        return;
    }
    value_show(field, t, f);
}

void ShowFields(const FormField *fields, int first, int last, int flags) {
    for (int i = first < 0 ? 0 : first; i <= last; i++)
        ShowField(&fields[i], flags);
}

int EditForm(FormField *fields, int first, int last, int start, const char *terminators,
             int flags) {
    if (first < 0 || last < first)
        return KEY_ESC;
    std::string terms = terminators == nullptr ? "" : terminators;
    terms += (char)KEY_DOWN;
    terms += (char)KEY_UP;
    // Each field's extra flags: a field once visited shows its value again.
    std::vector<int> extra((size_t)(last - first + 1), flags);
    int i = start < first ? first : (start > last ? last : start);
    for (;;) {
        int key = AcceptField(&fields[i], terms.c_str(), extra[(size_t)(i - first)]);
        if (key != KEY_ESC)
            extra[(size_t)(i - first)] |= EF_INITIAL;
        if (key == KEY_DOWN || key == KEY_ENTER) {
            if (i == last)
                return key;
            i++;
        } else if (key == KEY_UP) {
            if (i == first)
                return key;
            i--;
        } else {
            return key;
        }
    }
}
