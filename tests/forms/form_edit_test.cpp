// Editing typed fields, choices, number lists and forms from the keyboard.
#include "keys.h"

#include <cstring>

namespace {

class Form : public FormsScreen {
  protected:
    static FormField Field(int dataType, void *value, int width, int flags = EF_INITIAL,
                           const void *extra = nullptr) {
        return FormField{10, 20, (int16_t)width, (int16_t)dataType, value, extra, flags};
    }
    // Writes of the error window's message so far.
    static int ErrorShown(const char *message) {
        int n = 0;
        for (const ConsoleEvent &e : ConsoleRecordEvents())
            if (e.kind == CE_WRITE && e.text.find(message) != std::string::npos)
                n++;
        return n;
    }
};

const char TERMINATORS[] = {13, 27, (char)KEY_F1, 0};

TEST_F(Form, EntryIsStoredAndShown) {
    uint16_t v = 42;
    FormField f = Field(DT_USHORT, &v, 5, EF_INITIAL | EF_REPLACE | AT_HIGH);
    Text("123\r");
    EXPECT_EQ(AcceptField(&f, TERMINATORS, 0), KEY_ENTER);
    EXPECT_EQ(v, 123);
    EXPECT_EQ(ShadowText(10, 20, 24), "123  ");
    EXPECT_EQ(ShadowAttrs(10, 20, 24), "22222");
}

TEST_F(Form, InitialTextIsTheStoredValue) {
    uint32_t v = 1250;
    FormField f = Field(DT_MONEY, &v, 8);
    Text("0\r"); // appended after the shown 12.50: refused, then corrected
    Keys({KEY_F10, KEY_BKSP, 13});
    EXPECT_EQ(AcceptField(&f, TERMINATORS, 0), KEY_ENTER);
    EXPECT_EQ(ErrorShown("Unacceptable format of data"), 1);
    EXPECT_EQ(v, 1250u);
    EXPECT_EQ(ConsoleRecordStarved(), 0);
}

TEST_F(Form, RefusedEntryWithEnterIsEditedAgain) {
    uint32_t v = 7;
    FormField f = Field(DT_MONEY, &v, 8, EF_INITIAL | EF_REPLACE);
    Text("12.\r");
    Keys({KEY_F10});
    Text("5\r"); // the refused text comes back to be corrected
    EXPECT_EQ(AcceptField(&f, TERMINATORS, 0), KEY_ENTER);
    EXPECT_EQ(v, 1250u);
    EXPECT_EQ(ShadowText(10, 20, 27), "12.50   ");
}

TEST_F(Form, RefusedEntryLeftWithAnotherKeyKeepsTheValue) {
    uint32_t v = 7;
    FormField f = Field(DT_MONEY, &v, 8, EF_INITIAL | EF_REPLACE);
    Text("12.");
    Keys({KEY_DOWN, KEY_F10});
    const char terms[] = {13, 27, (char)KEY_DOWN, 0};
    EXPECT_EQ(AcceptField(&f, terms, 0), KEY_DOWN);
    EXPECT_EQ(v, 7u);
    EXPECT_EQ(ShadowText(10, 20, 27), "0.07    ");
}

int check_calls;
int check_even(void *value, int, const FormField *) {
    check_calls++;
    return *(uint16_t *)value % 2 == 0;
}

TEST_F(Form, EscapeStoresAGoodEntryUnchecked) {
    uint32_t money = 1250;
    FormField f = Field(DT_MONEY, &money, 8, EF_INITIAL | EF_REPLACE);
    Text("99");
    Keys({27});
    EXPECT_EQ(AcceptField(&f, TERMINATORS, 0), KEY_ESC);
    EXPECT_EQ(money, 9900u);
    EXPECT_EQ(ShadowText(10, 20, 27), "99.00   ");
    // The check is not asked about an entry left with ESC.
    uint16_t v = 4;
    FormField c = Field(DT_USHORT, &v, 5, EF_REPLACE | EF_INITIAL, (const void *)check_even);
    check_calls = 0;
    Text("7");
    Keys({27});
    EXPECT_EQ(AcceptField(&c, TERMINATORS, 0), KEY_ESC);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(check_calls, 0);
    EXPECT_EQ(ErrorShown("Unacceptable"), 0);
}

TEST_F(Form, EscapeOnARefusedEntryKeepsTheStoredValue) {
    uint32_t money = 1250;
    FormField f = Field(DT_MONEY, &money, 8, EF_INITIAL | EF_REPLACE);
    Text("99.");
    Keys({27});
    EXPECT_EQ(AcceptField(&f, TERMINATORS, 0), KEY_ESC);
    EXPECT_EQ(money, 1250u); // not the 99 read before the refused stop
    EXPECT_EQ(ErrorShown("Unacceptable"), 0);
    EXPECT_EQ(ShadowText(10, 20, 27), "12.50   ");
    // ESC on an emptied field: an empty money text would read as 0, but an
    // empty text is refused by a whole-number type and the value stays.
    uint16_t n = 42;
    FormField u = Field(DT_USHORT, &n, 5, EF_INITIAL);
    Keys({25, 27}); // Ctrl-Y clears the field
    EXPECT_EQ(AcceptField(&u, TERMINATORS, 0), KEY_ESC);
    EXPECT_EQ(n, 42);
    EXPECT_EQ(ShadowText(10, 20, 24), "42   ");
    EXPECT_EQ(ErrorShown("Unacceptable"), 0);
}

TEST_F(Form, TimePastTheDayIsKeptReducedOnceShown) {
    uint32_t t = 3 * 86400 + 49500;
    FormField f = Field(DT_TIME, &t, 5, 0);
    ShowField(&f, 0);
    EXPECT_EQ(ShadowText(10, 20, 24), "13:45");
    EXPECT_EQ(t, 49500u);
    t = 86400 + 60;
    Keys({KEY_DOWN});
    const char terms[] = {13, 27, (char)KEY_DOWN, 0};
    EXPECT_EQ(AcceptField(&f, terms, 0), KEY_DOWN); // empty entry refused
    EXPECT_EQ(t, 60u);
    EXPECT_EQ(ShadowText(10, 20, 24), "00:01");
}

TEST_F(Form, ZeroFillAndStateCapitals) {
    uint16_t v = 42;
    FormField f = Field(DT_USHORT, &v, 5, EF_INITIAL | FF_ZEROFILL | PF_RIGHT);
    ShowField(&f, 0);
    EXPECT_EQ(ShadowText(10, 20, 24), "00042");
    int16_t state = 0;
    FormField s = Field(DT_STATE, &state, 2, 0);
    Text("ny\r");
    EXPECT_EQ(AcceptField(&s, TERMINATORS, 0), KEY_ENTER);
    EXPECT_EQ(state, 35);
    EXPECT_EQ(ShadowText(10, 20, 21), "NY");
}

TEST_F(Form, CheckFunctionRefusalRestoresTheValue) {
    uint16_t v = 4;
    FormField f = Field(DT_USHORT, &v, 5, EF_REPLACE | EF_INITIAL, (const void *)check_even);
    Text("7");
    Keys({KEY_DOWN});
    const char terms[] = {13, 27, (char)KEY_DOWN, 0};
    EXPECT_EQ(AcceptField(&f, terms, 0), KEY_DOWN);
    EXPECT_EQ(v, 4);
    EXPECT_EQ(ErrorShown("Unacceptable"), 0); // the check reports its own refusals
    Text("7\r\x7f"
         "8\r"); // ENTER on a refused value edits it again
    EXPECT_EQ(AcceptField(&f, terms, 0), KEY_ENTER);
    EXPECT_EQ(v, 8);
}

TEST_F(Form, NegativeTypeAcceptsAnEmptyEntry) {
    uint16_t v = 42;
    char text[9] = "name";
    FormField n = Field(-DT_USHORT, &v, 5, 0);
    FormField t = Field(-DT_TEXT, text, 8, 0);
    Text("\r\r");
    EXPECT_EQ(AcceptField(&n, TERMINATORS, 0), KEY_ENTER);
    EXPECT_EQ(AcceptField(&t, TERMINATORS, 0), KEY_ENTER);
    EXPECT_EQ(v, 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(ErrorShown("Unacceptable"), 0);
    // The empty entry is taken without asking the check; a typed one is checked.
    v = 6;
    FormField c = Field(-DT_USHORT, &v, 5, 0, (const void *)check_even);
    check_calls = 0;
    Text("\r");
    EXPECT_EQ(AcceptField(&c, TERMINATORS, 0), KEY_ENTER);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(check_calls, 0);
    Text("8\r");
    EXPECT_EQ(AcceptField(&c, TERMINATORS, 0), KEY_ENTER);
    EXPECT_EQ(v, 8);
    EXPECT_EQ(check_calls, 1);
    // Without the sign, the empty entry is refused and asked again.
    FormField r = Field(DT_USHORT, &v, 5, 0);
    Text("\r");
    Keys({KEY_F10});
    Text("5\r");
    EXPECT_EQ(AcceptField(&r, TERMINATORS, 0), KEY_ENTER);
    EXPECT_EQ(v, 5);
    EXPECT_EQ(ErrorShown("Unacceptable format of data"), 1);
}

TEST_F(Form, IllegalTypeIsReported) {
    uint16_t v = 1;
    for (int t : {23, 24, 26, 27, 29, -40}) {
        ConsoleRecordForget();
        FormField f = Field(t, &v, 5);
        Keys({KEY_F10});
        EXPECT_EQ(AcceptField(&f, TERMINATORS, 0), KEY_ESC) << t;
        EXPECT_EQ(ErrorShown("Illegal DataType code passed to AcceptField"), 1) << t;
        EXPECT_EQ(v, 1);
        ShowField(&f, 0); // shows nothing
        EXPECT_EQ(ShadowText(10, 20, 24), "     ");
    }
    FormField none = Field(DT_USHORT, nullptr, 5);
    Keys({KEY_F10});
    EXPECT_EQ(AcceptField(&none, TERMINATORS, 0), KEY_ESC);
    EXPECT_EQ(ErrorShown("Form field without a value"), 1);
}

const char *PARITY[] = {"NONE", "ODD", "EVEN", nullptr};

TEST_F(Form, ChoiceKeys) {
    struct {
        const char *name;
        std::string keys;
        int start;
        int result;
    } cases[] = {
        {"Right steps forward", KeyBytes({KEY_RIGHT, 13}), 0, 1},
        {"space steps forward with wrap", "   \r", 0, 0},
        {"Right wraps", KeyBytes({KEY_RIGHT, 13}), 2, 0},
        {"Left wraps back", KeyBytes({KEY_LEFT, 13}), 0, 2},
        {"n stops at the first", "nN-\r", 1, 0},
        {"+ S s Y y stop at the last", "+SsYy\r", 0, 2},
        {"other keys are ignored", "xq7\r", 1, 1},
        {"ESC as a terminator stores the choice too", KeyBytes({KEY_RIGHT, 27}), 0, 1},
        {"the stored index is taken modulo the count", "\r", 4, 1},
    };
    for (auto &c : cases) {
        int16_t index = (int16_t)c.start;
        int bells = ConsoleRecordCount(CE_BELL);
        ConsoleRecordInput(c.keys);
        FormField f = Field(DT_CHOICE, &index, 4, AT_HIGH, PARITY);
        int key = AcceptField(&f, TERMINATORS, 0);
        EXPECT_TRUE(key == KEY_ENTER || key == KEY_ESC) << c.name;
        EXPECT_EQ(index, c.result) << c.name;
        EXPECT_EQ(ConsoleRecordCount(CE_BELL), bells) << c.name;
    }
    EXPECT_EQ(ShadowText(10, 20, 23), "ODD ");
    EXPECT_EQ(ShadowAttrs(10, 20, 23), "2222");
}

TEST_F(Form, ChoiceIgnoresAnEscapeThatIsNoTerminator) {
    int16_t index = 0;
    const char enterOnly[] = {13, 0};
    // Right, ESC (ignored), Right, ENTER.
    Keys({KEY_RIGHT});
    Keys({27});
    Keys({KEY_RIGHT, 13});
    EXPECT_EQ(EditChoice(10, 20, PARITY, &index, enterOnly, 0), KEY_ENTER);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(ConsoleRecordStarved(), 0);
}

TEST_F(Form, ChoiceShownReverseWhileEdited) {
    int16_t index = 2;
    SnapshotOnF2();
    Keys({KEY_F2, 13});
    EXPECT_EQ(EditChoice(10, 20, PARITY, &index, TERMINATORS, 0), KEY_ENTER);
    EXPECT_EQ(snapshot.rows[10].substr(19, 4), "EVEN");
    EXPECT_EQ(snapshot.attrs[10].substr(19, 4), "1111");
    ShowChoice(11, 20, PARITY, 3, 7, 0);
    EXPECT_EQ(ShadowText(11, 20, 26), "INVALID");
    ShowChoice(11, 20, PARITY, -1, 7, 0);
    EXPECT_EQ(ShadowText(11, 20, 26), "INVALID");
    ShowChoice(11, 20, PARITY, 1, 7, 0);
    EXPECT_EQ(ShadowText(11, 20, 26), "ODD    ");
}

TEST_F(Form, NumberList) {
    uint16_t route[1 + NUMLIST_MAX] = {2, 7, 9};
    FormField f = Field(DT_NUMLIST, route, 31, AT_HIGH);
    Text("1, 5 20\r");
    EXPECT_EQ(AcceptField(&f, TERMINATORS, 0), KEY_ENTER);
    EXPECT_EQ(route[0], 3);
    EXPECT_EQ(route[1], 1);
    EXPECT_EQ(route[2], 5);
    EXPECT_EQ(route[3], 20);
    EXPECT_EQ(ShadowText(10, 20, 27), "1,5,20  ");

    // Nine numbers are refused; ENTER edits again; the list holds eight at most.
    Text("1 2 3 4 5 6 7 8 9\r");
    Keys({KEY_F10});
    Text("\r"); // the refused text comes back and is refused again
    Keys({KEY_F10, 27});
    EXPECT_EQ(EditNumberList(10, 20, route, 0), KEY_ESC);
    EXPECT_EQ(route[0], 3);
    EXPECT_EQ(ErrorShown("Unacceptable format of data"), 2);

    Text("\r"); // an empty entry empties the list
    EXPECT_EQ(EditNumberList(10, 20, route, 0), KEY_ENTER);
    EXPECT_EQ(route[0], 0);
    EXPECT_EQ(ShadowText(10, 20, 24), "NONE ");

    uint16_t bad[1 + NUMLIST_MAX] = {300, 1, 2, 3, 4, 5, 6, 7, 8};
    Keys({KEY_UP});
    EXPECT_EQ(EditNumberList(10, 20, bad, EF_INITIAL), KEY_UP);
    EXPECT_EQ(bad[0], 8); // a count beyond eight is cut to eight
    EXPECT_EQ(ShadowText(10, 20, 34), "1,2,3,4,5,6,7,8");
}

TEST_F(Form, EditFormMovesBetweenFields) {
    uint16_t a = 1, b = 2, c = 3;
    FormField fields[] = {
        {5, 20, 5, DT_USHORT, &a, nullptr, EF_REPLACE},
        {6, 20, 5, DT_USHORT, &b, nullptr, EF_REPLACE | EF_INITIAL},
        {7, 20, 5, DT_USHORT, &c, nullptr, EF_REPLACE | EF_INITIAL},
    };
    ShowFields(fields, 0, 2, 0);
    EXPECT_EQ(ShadowText(5, 20, 20) + ShadowText(6, 20, 20) + ShadowText(7, 20, 20), "123");
    struct {
        const char *name;
        std::string keys;
        int start;
        int key;
    } cases[] = {
        {"Up on the first field", KeyBytes({KEY_UP}), 0, KEY_UP},
        {"Down on the last field", KeyBytes({KEY_DOWN}), 2, KEY_DOWN},
        {"ENTER through to the last", KeyBytes({13, 13}), 1, KEY_ENTER},
        {"Down then Up then Up", KeyBytes({KEY_DOWN, KEY_UP, KEY_UP}), 1, KEY_UP},
        {"another terminator leaves", KeyBytes({KEY_F1}), 1, KEY_F1},
        {"ESC leaves", KeyBytes({27}), 2, KEY_ESC},
    };
    for (auto &t : cases) {
        ConsoleRecordInput(t.keys);
        EXPECT_EQ(EditForm(fields, 1, 2, t.start, TERMINATORS, 0), t.key) << t.name;
        EXPECT_EQ(ConsoleRecordStarved(), 0) << t.name;
    }
    EXPECT_EQ(b, 2);
    EXPECT_EQ(c, 3);

    // A field without EF_INITIAL starts empty once, then shows its value.
    Text("9");
    Keys({KEY_DOWN, KEY_UP});
    Text("\r\r\r");
    EXPECT_EQ(EditForm(fields, 0, 2, 0, TERMINATORS, 0), KEY_ENTER);
    EXPECT_EQ(a, 9);
    EXPECT_EQ(EditForm(fields, 2, 1, 0, TERMINATORS, 0), KEY_ESC); // an empty range
}

} // namespace
