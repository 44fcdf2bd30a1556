// The printed forms of a poll: CSV and JSON escaping, UTC times, register
// names, rows, objects and text lines, and the statistics line.
#include "regedit/record_format.h"

#include <gtest/gtest.h>

namespace {

TEST(RecordFormat, CsvFieldsQuotedWhereNeeded) {
    const struct {
        const char *in, *out;
    } cases[] = {
        {"Reply timeout", "Reply timeout"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"line\nbreak", "\"line\nbreak\""},
        {"cr\r", "\"cr\r\""},
        {"(3) Illegal address", "(3) Illegal address"},
        {"semi;colon 'quote'", "semi;colon 'quote'"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CsvField(c.in), c.out) << c.in;
}

TEST(RecordFormat, JsonStringsEscaped) {
    const struct {
        std::string in;
        const char *out;
    } cases[] = {
        {"plain", "\"plain\""},
        {"", "\"\""},
        {"q\"b\\s/", "\"q\\\"b\\\\s/\""},
        {"tab\tnl\ncr\r", "\"tab\\tnl\\ncr\\r\""},
        {std::string("\x01\x1f", 2), "\"\\u0001\\u001F\""},
        {"\x7f\xe9", "\"\\u007F\\u00E9\""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(JsonString(c.in), c.out) << c.in;
}

TEST(RecordFormat, UtcTimesWithMilliseconds) {
    const struct {
        int64_t ms;
        const char *text;
    } cases[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {1, "1970-01-01T00:00:00.001Z"},
        {86399999, "1970-01-01T23:59:59.999Z"},
        {951782400000, "2000-02-29T00:00:00.000Z"},
        {1709251199123, "2024-02-29T23:59:59.123Z"},
        {1798761599999, "2026-12-31T23:59:59.999Z"},
        {4102444800000, "2100-01-01T00:00:00.000Z"},
        {-1, "1969-12-31T23:59:59.999Z"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(UtcTimeText(c.ms), c.text) << c.ms;
}

TEST(RecordFormat, RegisterNamesInTheViewsNotation) {
    EXPECT_EQ(RegisterName(VIEW_4X, 0, 1), "40001");
    EXPECT_EQ(RegisterName(VIEW_4X, 0, 9999), "49999");
    EXPECT_EQ(RegisterName(VIEW_4X, 0, 10000), "410000");
    EXPECT_EQ(RegisterName(VIEW_4X, 0, 65535), "465535");
    EXPECT_EQ(RegisterName(VIEW_0X, 0, 1), "00001");
    EXPECT_EQ(RegisterName(VIEW_1X, 0, 17), "10017");
    EXPECT_EQ(RegisterName(VIEW_3X, 0, 300), "30300");
    EXPECT_EQ(RegisterName(VIEW_6X, 3, 0), "6:3:0");
}

struct Fixture {
    RunSettings s;
    uint16_t values[4] = {0x4049, 0x0FDB, 0xFFFF, 0x0001};
    uint16_t status[4] = {0xABCD, 0, 1, 2};
    PollRecord p;
    Fixture() {
        SettingsDefaults(&s);
        p = {1709251199123, 1, 4, values, true, 4, status, true, nullptr};
    }
};

TEST(RecordFormat, CsvHeaderAndRows) {
    Fixture f;
    EXPECT_EQ(CsvHeader(&f.s, f.p), "time,start,40001,40002,40003,40004,S40001,S40002,S40003,"
                                    "S40004,error\r\n");
    EXPECT_EQ(CsvRow(&f.s, f.p), "2024-02-29T23:59:59.123Z,1,16457,4059,65535,1,ABCD,0000,"
                                 "0001,0002,\r\n");
    f.s.script.type = TYPE_F32;
    f.p.statusCount = 0;
    EXPECT_EQ(CsvHeader(&f.s, f.p), "time,start,40001,40003,error\r\n");
    EXPECT_EQ(CsvRow(&f.s, f.p), "2024-02-29T23:59:59.123Z,1,3.1415927,nan,\r\n");
    // A failed poll keeps its columns empty and gives the error text.
    f.p.valuesOk = false;
    f.p.error = "Recv Circuit reset by peer, \"again\"";
    EXPECT_EQ(CsvRow(&f.s, f.p),
              "2024-02-29T23:59:59.123Z,1,,,\"Recv Circuit reset by peer, \"\"again\"\"\"\r\n");
}

TEST(RecordFormat, CsvStatusFailureKeepsValues) {
    Fixture f;
    f.p.count = 2;
    f.p.statusCount = 2;
    f.p.statusOk = false;
    f.p.error = "Reply timeout";
    EXPECT_EQ(CsvRow(&f.s, f.p), "2024-02-29T23:59:59.123Z,1,16457,4059,,,Reply timeout\r\n");
}

TEST(RecordFormat, JsonLines) {
    Fixture f;
    f.p.count = 2;
    f.p.statusCount = 2;
    EXPECT_EQ(JsonLine(&f.s, f.p),
              "{\"time\":\"2024-02-29T23:59:59.123Z\",\"start\":1,\"view\":\"4X\","
              "\"values\":[16457,4059],\"status\":[43981,0],\"error\":null}\n");
    f.s.script.type = TYPE_F32;
    f.s.view3X = true;
    f.p.count = 4;
    f.p.statusCount = 0;
    EXPECT_EQ(JsonLine(&f.s, f.p),
              "{\"time\":\"2024-02-29T23:59:59.123Z\",\"start\":1,\"view\":\"3X\","
              "\"values\":[3.1415927,null],\"status\":null,\"error\":null}\n");
    f.p.valuesOk = false;
    f.p.error = "No reply to read command";
    EXPECT_EQ(JsonLine(&f.s, f.p),
              "{\"time\":\"2024-02-29T23:59:59.123Z\",\"start\":1,\"view\":\"3X\","
              "\"values\":null,\"status\":null,\"error\":\"No reply to read command\"}\n");
}

TEST(RecordFormat, TextLinesInTheScreensColumns) {
    Fixture f;
    f.p.count = 3;
    f.p.statusCount = 3;
    EXPECT_EQ(TextLines(&f.s, f.p), "     1  4049   16457   16457  ABCD\n"
                                    "     2  0FDB    4059    4059  0000\n"
                                    "     3  FFFF   65535      -1  0001\n");
    f.s.hexNumbers = true;
    f.p.statusOk = false;
    f.p.error = "Reply timeout";
    f.p.count = 1;
    EXPECT_EQ(TextLines(&f.s, f.p), " 0001   4049   16457   16457  ----  Reply timeout\n");
    f.s.hexNumbers = false;
    f.p.valuesOk = false;
    f.p.count = 2;
    EXPECT_EQ(TextLines(&f.s, f.p), "     1  ERROR  Reply timeout\n     2  ERROR  Reply timeout\n");
    f.p.valuesOk = true;
    f.p.error = nullptr;
    f.p.count = 4;
    f.s.script.type = TYPE_S32;
    f.s.script.order = ORDER_CDAB;
    f.p.statusCount = 0;
    EXPECT_EQ(TextLines(&f.s, f.p), "     1  266027081\n     3  131071\n");
}

TEST(RecordFormat, StatisticsLineWithLoss) {
    CommStats st = {8, 6, 2, 1, 1, 3, 1, 1, 1};
    EXPECT_EQ(StatsLine(st),
              "VELDAK statistics: sent=8 received=6 timeouts=2 retransmissions=1 naks=1 "
              "enquiries=3 check_errors=1 error_replies=1 reconnections=1 loss=25.0%\n");
    CommStats none = {};
    EXPECT_NE(StatsLine(none).find("loss=0.0%"), std::string::npos);
}

} // namespace
