// The data-file codec against hand-made files: the register reading rules of
// the text formats, the binary layout, and records that end early.
#include "configurator/data_codec.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

// Reads every whole record of the bytes; the untouched sentinel of the
// record that failed is checked too.
std::vector<std::vector<uint16_t>> ReadAll(const std::string &bytes, int type, int length) {
    DataReader r = MemoryReader(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    std::vector<std::vector<uint16_t>> records;
    for (;;) {
        std::vector<uint16_t> record((size_t)length, 0x5A5A);
        if (!ReadDataRecord(&r, type, length, record.data())) {
            EXPECT_EQ(record, std::vector<uint16_t>((size_t)length, 0x5A5A))
                << "a record that ended early changed the buffer";
            break;
        }
        records.push_back(record);
    }
    return records;
}

struct ReadCase {
    const char *what;
    std::string bytes;
    int type;
    int length;
    std::vector<std::vector<uint16_t>> records;
};

void PrintTo(const ReadCase &c, std::ostream *os) {
    *os << c.what;
}

class CodecRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(CodecRead, GivesTheRecords) {
    const ReadCase &c = GetParam();
    EXPECT_EQ(ReadAll(c.bytes, c.type, c.length), c.records) << c.what;
}

const ReadCase read_cases[] = {
    {"hex pair", "0001,ABCD\r\n", 1, 2, {{0x0001, 0xABCD}}},
    {"hex lower case", "0001,abcd\r\n", 1, 2, {{0x0001, 0xABCD}}},
    {"hex minus takes a place", "-001\r\n", 1, 1, {{0xFFFF}}},
    {"hex minus inside the group", "00-1", 1, 1, {{0xFFFF}}},
    {"hex space separators", "0001 0002 0003\r\n0004 0005 0006\r\n", 1, 3, {{1, 2, 3}, {4, 5, 6}}},
    {"hex no separators at all", "00010002", 1, 2, {{1, 2}}},
    {"hex bit 7 cleared", "\xB0\xB0\xC1\xB1", 1, 1, {{0x0A1}}},
    {"hex partial last record dropped", "0001,0002\r\n0003", 1, 2, {{1, 2}}},
    {"hex group cut by the end", "0001,000", 1, 2, {}},
    {"decimal wrap and minus", "12,-7,70000\r\n", 3, 3, {{12, 65529, 4464}}},
    {"decimal minus after digits negates", "1-2,", 3, 1, {{65524}}},
    {"decimal leading junk skipped", "  x 42;", 3, 1, {{42}}},
    {"decimal bit 7 cleared", "\xB4\xB2\xAC", 3, 1, {{42}}},
    {"decimal partial last record dropped", "1,2,3\r\n4,5\r\n", 3, 3, {{1, 2, 3}}},
    {"decimal last number ends with the data", "1,2,3", 3, 3, {{1, 2, 3}}},
    {"decimal one line without its line end", "7", 3, 1, {{7}}},
    {"decimal record cut by the end dropped", "1,2,3\r\n4,5", 3, 3, {{1, 2, 3}}},
    {"decimal minus without digits at the end", "1,-", 3, 2, {}},
    {"decimal two lines", "1,2,3\r\n4,5,6\r\n", 3, 3, {{1, 2, 3}, {4, 5, 6}}},
    {"binary three records", std::string("\x01\x00\x02\x00\x03\x00", 6), 2, 1, {{1}, {2}, {3}}},
    {"binary little-endian", std::string("\x34\x12\xFF\xFF", 4), 2, 2, {{0x1234, 0xFFFF}}},
    {"binary partial last record dropped", std::string("\x01\x00\x02\x00\x03", 5), 2, 2, {{1, 2}}},
    {"empty file", "", 1, 1, {}},
};

std::string CaseName(const ::testing::TestParamInfo<ReadCase> &info) {
    std::string name = info.param.what;
    for (char &ch : name)
        if (!isalnum((unsigned char)ch))
            ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Codec, CodecRead, ::testing::ValuesIn(read_cases), CaseName);

TEST(CodecRead, LengthOutsideTheModuleLimitsReadsNothing) {
    std::string bytes(10000, '1');
    uint16_t record[4] = {7, 7, 7, 7};
    for (int length : {0, -1, 2040}) {
        DataReader r = MemoryReader(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
        EXPECT_FALSE(ReadDataRecord(&r, 1, length, record)) << length;
        EXPECT_EQ(r.pos, 0u) << length;
    }
    EXPECT_EQ(record[0], 7);
}

// The unload layout, byte for byte, as load reads it back.
TEST(CodecWrite, TextRecordsRoundTrip) {
    const uint16_t record[3] = {1, 2, 0xFFFF};
    char text[DATA_RECORD_TEXT_MAX];
    std::string hex(text, FormatDataRecord(1, 3, record, text));
    EXPECT_EQ(hex, "0001,0002,FFFF\r\n");
    std::string dec(text, FormatDataRecord(3, 3, record, text));
    EXPECT_EQ(dec, "1,2,65535\r\n");
    std::string bin(text, FormatDataRecord(2, 3, record, text));
    EXPECT_EQ(bin, std::string("\x01\x00\x02\x00\xFF\xFF", 6));
    for (int type = 1; type <= 3; type++) {
        std::string bytes(text, FormatDataRecord(type, 3, record, text));
        EXPECT_EQ(ReadAll(bytes + bytes, type, 3),
                  (std::vector<std::vector<uint16_t>>{{1, 2, 0xFFFF}, {1, 2, 0xFFFF}}))
            << type;
    }
}

TEST(CodecWrite, LongestRecordFitsTheText) {
    std::vector<uint16_t> record(2039, 65535);
    std::vector<char> text(DATA_RECORD_TEXT_MAX);
    size_t n = FormatDataRecord(3, 2039, record.data(), text.data());
    EXPECT_EQ(n, 2039u * 6 - 1 + 2);
    std::string bytes(text.data(), n);
    EXPECT_EQ(ReadAll(bytes, 3, 2039), (std::vector<std::vector<uint16_t>>{record}));
}

} // namespace
