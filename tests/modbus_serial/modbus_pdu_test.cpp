// Request bytes and reply outcomes of the shared Modbus PDU functions.
#include "comm/modbus_pdu.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

TEST(ModbusPdu, ReadRequests) {
    struct Case {
        int function, start, count;
        Bytes pdu;
    } cases[] = {
        {3, 1, 10, {0x03, 0x00, 0x00, 0x00, 0x0A}},
        {1, 20, 10, {0x01, 0x00, 0x13, 0x00, 0x0A}},
        {2, 10001, 1, {0x02, 0x27, 0x10, 0x00, 0x01}},
        {4, 300, 125, {0x04, 0x01, 0x2B, 0x00, 0x7D}},
        {3, 0, 1, {0x03, 0xFF, 0xFF, 0x00, 0x01}}, // start 0 wraps, no range test
    };
    for (const Case &c : cases) {
        uint8_t pdu[MODBUS_PDU_MAX];
        int n = ModbusBuildRead(pdu, c.function, c.start, c.count);
        EXPECT_EQ(Bytes(pdu, pdu + n), c.pdu) << "function " << c.function;
    }
    uint8_t pdu[MODBUS_PDU_MAX];
    EXPECT_EQ(ModbusBuildRead(pdu, 5, 1, 1), 0);
}

TEST(ModbusPdu, WriteRequests) {
    uint16_t regs[3] = {0x1234, 0xFFFF, 0x0001};
    uint16_t on[1] = {0xFF00};
    // Nine coils packed in place: bytes 0x01 0x01 (coils 1 and 9 on).
    uint16_t coils9[9] = {1, 0, 0, 0, 0, 0, 0, 0, 1};
    uint8_t *packed = reinterpret_cast<uint8_t *>(coils9);
    packed[0] = 0x01;
    packed[1] = 0x01;
    uint16_t coils8[8] = {0};
    reinterpret_cast<uint8_t *>(coils8)[0] = 0xA5;
    struct Case {
        int function, start, count;
        const uint16_t *values;
        Bytes pdu;
    } cases[] = {
        {6, 5, 1, regs, {0x06, 0x00, 0x04, 0x12, 0x34}},
        {5, 1, 1, on, {0x05, 0x00, 0x00, 0xFF, 0x00}},
        {16, 2, 3, regs, {0x10, 0x00, 0x01, 0x00, 0x03, 0x06, 0x12, 0x34, 0xFF, 0xFF, 0x00, 0x01}},
        {15, 1, 9, coils9, {0x0F, 0x00, 0x00, 0x00, 0x09, 0x02, 0x01, 0x01}},
        {15, 1, 8, coils8, {0x0F, 0x00, 0x00, 0x00, 0x08, 0x01, 0xA5}},
    };
    for (const Case &c : cases) {
        uint8_t pdu[MODBUS_PDU_MAX];
        int n = ModbusBuildWrite(pdu, c.function, c.start, c.count, c.values);
        EXPECT_EQ(Bytes(pdu, pdu + n), c.pdu) << "function " << c.function;
    }
}

TEST(ModbusPdu, WriteRequestsThatCannotBeBuilt) {
    uint16_t values[200] = {0};
    uint8_t pdu[MODBUS_PDU_MAX];
    EXPECT_EQ(ModbusBuildWrite(pdu, 6, 1, 2, values), 0);    // function 6 is one register
    EXPECT_EQ(ModbusBuildWrite(pdu, 16, 1, 128, values), 0); // byte count 256
    EXPECT_EQ(ModbusBuildWrite(pdu, 16, 1, 127, values), 6 + 254);
    EXPECT_EQ(ModbusBuildWrite(pdu, 3, 1, 1, values), 0);
    EXPECT_EQ(ModbusBuildFileWrite(pdu, 6, 1, 0, 125, values), 0); // byte count 257
    EXPECT_EQ(ModbusBuildFileWrite(pdu, 6, 1, 0, 124, values), 9 + 248);
}

TEST(ModbusPdu, FileRequests) {
    uint8_t pdu[MODBUS_PDU_MAX];
    int n = ModbusBuildFileRead(pdu, 6, 1, 0, 10);
    EXPECT_EQ(Bytes(pdu, pdu + n), (Bytes{20, 7, 6, 0, 1, 0, 0, 0, 10}));
    uint16_t words[2] = {0xBEEF, 0x0102};
    n = ModbusBuildFileWrite(pdu, 6, 3, 9999, 2, words);
    EXPECT_EQ(Bytes(pdu, pdu + n),
              (Bytes{21, 11, 6, 0, 3, 0x27, 0x0F, 0, 2, 0xBE, 0xEF, 0x01, 0x02}));
    // The 3X write: reference type 3, file 0, record = first register - 1.
    n = ModbusBuildFileWrite(pdu, 3, 0, 1 - 1, 1, words);
    EXPECT_EQ(Bytes(pdu, pdu + n), (Bytes{21, 9, 3, 0, 0, 0, 0, 0, 1, 0xBE, 0xEF}));
}

struct ReplyCase {
    const char *name;
    int replySlave;
    Bytes pdu;
    int function, count;
    int result;
    std::string text;
};

TEST(ModbusPdu, ReadReplies) {
    const ReplyCase cases[] = {
        {"good", 1, {3, 4, 0x12, 0x34, 0xAB, 0xCD}, 3, 2, 2, ""},
        {"other slave", 2, {3, 4, 0x12, 0x34, 0xAB, 0xCD}, 3, 2, 0, "Read reply had wrong drop"},
        {"exception 2", 1, {0x83, 2}, 3, 2, 0, "Modbus error reply 2 "},
        {"exception 13", 1, {0x83, 13}, 3, 2, 0, "Modbus error reply 13 "},
        {"exception without code", 1, {0x83}, 3, 2, 0, "Modbus error reply 0 "},
        {"opcode", 1, {4, 4, 0, 0, 0, 0}, 3, 2, 0, "Read reply had wrong opcode"},
        {"empty", 1, {}, 3, 2, 0, "Read reply had wrong opcode"},
        {"byte count", 1, {3, 2, 0, 0}, 3, 2, 0, "Reply length 2 doesn't match query 2"},
        {"no byte count", 1, {3}, 3, 2, 0, "Read reply was wrong size"},
        {"size", 1, {3, 4, 0, 0, 0}, 3, 2, 0, "Read reply was wrong size"},
        // A serial frame holds exactly the reply: a byte more is a damaged frame.
        {"padded", 1, {3, 4, 0x12, 0x34, 0xAB, 0xCD, 0}, 3, 2, 0, "Read reply was wrong size"},
        {"coils byte count", 1, {1, 1, 0xFF}, 1, 10, 0, "Reply length 1 doesn't match query 10"},
        {"coils", 1, {1, 2, 0xFF, 0x03}, 1, 10, 10, ""},
    };
    for (const ReplyCase &c : cases) {
        uint16_t values[8] = {0};
        char text[MODBUS_TEXT_SIZE] = "";
        int n = ModbusCheckReadReply(1, c.replySlave, c.pdu.data(), (int)c.pdu.size(), c.function,
                                     c.count, values, text);
        EXPECT_EQ(n, c.result) << c.name;
        if (c.result == 0) {
            EXPECT_EQ(std::string(text).substr(0, c.text.size()), c.text) << c.name;
        }
    }
}

TEST(ModbusPdu, ReadReplyValues) {
    uint16_t values[4] = {0};
    char text[MODBUS_TEXT_SIZE];
    const uint8_t regs[] = {3, 4, 0x12, 0x34, 0xAB, 0xCD};
    ASSERT_EQ(ModbusCheckReadReply(7, 7, regs, 6, 3, 2, values, text), 2);
    EXPECT_EQ(values[0], 0x1234);
    EXPECT_EQ(values[1], 0xABCD);
    // Ten coils: one word, coils 1-8 in the high byte, 9 and 10 in bits 0 and 1 of the low.
    const uint8_t coils[] = {1, 2, 0x81, 0x02};
    values[1] = 0x5555;
    ASSERT_EQ(ModbusCheckReadReply(7, 7, coils, 4, 1, 10, values, text), 10);
    EXPECT_EQ(values[0], 0x8102);
    EXPECT_EQ(values[1], 0x5555); // nothing written past (bytes + 1) / 2 words
    // Three inputs: one byte, the low half of the word is 0.
    const uint8_t inputs[] = {2, 1, 0x05};
    ASSERT_EQ(ModbusCheckReadReply(7, 7, inputs, 3, 2, 3, values, text), 3);
    EXPECT_EQ(values[0], 0x0500);
}

TEST(ModbusPdu, WriteReplies) {
    const ReplyCase cases[] = {
        {"good 16", 1, {16, 0, 0, 0, 3}, 16, 3, 3, ""},
        {"good 6", 1, {6, 0, 4, 0x12, 0x34}, 6, 1, 1, ""},
        {"other slave", 9, {16, 0, 0, 0, 3}, 16, 3, 0, "Write reply had wrong drop"},
        {"exception 2", 1, {0x90, 2}, 16, 3, 0, "Modbus error reply 2 "},
        {"opcode", 1, {15, 0, 0, 0, 3}, 16, 3, 0, "Write reply had wrong opcode"},
        {"size", 1, {16, 0, 0, 0}, 16, 3, 0, "Write reply was wrong size"},
        {"long", 1, {16, 0, 0, 0, 3, 0}, 16, 3, 0, "Write reply was wrong size"},
    };
    for (const ReplyCase &c : cases) {
        char text[MODBUS_TEXT_SIZE] = "";
        int n = ModbusCheckWriteReply(1, c.replySlave, c.pdu.data(), (int)c.pdu.size(), c.function,
                                      c.count, text);
        EXPECT_EQ(n, c.result) << c.name;
        if (c.result == 0) {
            EXPECT_EQ(std::string(text).substr(0, c.text.size()), c.text) << c.name;
        }
    }
}

TEST(ModbusPdu, FileReadReplies) {
    // Two words of reference type 6: 20, 6, 5, 6, w1, w2.
    const ReplyCase cases[] = {
        {"good", 1, {20, 6, 5, 6, 0, 1, 0, 2}, 20, 2, 2, ""},
        {"other slave", 3, {20, 6, 5, 6, 0, 1, 0, 2}, 20, 2, 0, "Read reply had wrong drop"},
        {"exception", 1, {0x94, 13}, 20, 2, 0, "Modbus error reply 13 "},
        {"opcode", 1, {21, 6, 5, 6, 0, 1, 0, 2}, 20, 2, 0, "Read reply had wrong opcode"},
        {"(a)", 1, {20, 7, 5, 6, 0, 1, 0, 2}, 20, 2, 0, "Read reply was wrong size (a)"},
        {"(b)", 1, {20, 6, 4, 6, 0, 1, 0, 2}, 20, 2, 0, "Read reply was wrong size (b)"},
        {"reference",
         1,
         {20, 6, 5, 3, 0, 1, 0, 2},
         20,
         2,
         0,
         "Read reply had wrong reference type"},
        {"(c)", 1, {20, 6, 5, 6, 0, 1, 0}, 20, 2, 0, "Read reply was wrong size (c)"},
        {"cut short", 1, {20, 6}, 20, 2, 0, "Read reply was wrong size (b)"},
    };
    for (const ReplyCase &c : cases) {
        uint16_t values[4] = {0};
        char text[MODBUS_TEXT_SIZE] = "";
        int n = ModbusCheckFileReadReply(1, c.replySlave, c.pdu.data(), (int)c.pdu.size(), 6,
                                         c.count, values, text);
        EXPECT_EQ(n, c.result) << c.name;
        if (c.result == 0) {
            EXPECT_EQ(std::string(text), c.text) << c.name;
        }
        if (c.result) {
            EXPECT_EQ(values[0], 1);
            EXPECT_EQ(values[1], 2);
        }
    }
}

TEST(ModbusPdu, FileWriteReplies) {
    uint16_t words[2] = {1, 2};
    uint8_t echo[MODBUS_PDU_MAX];
    int n = ModbusBuildFileWrite(echo, 6, 1, 0, 2, words);
    char text[MODBUS_TEXT_SIZE] = "";
    EXPECT_EQ(ModbusCheckFileWriteReply(1, 1, echo, n, 2, text), 2);
    EXPECT_EQ(ModbusCheckFileWriteReply(1, 1, echo, n - 1, 2, text), 0);
    EXPECT_STREQ(text, "Write reply was wrong size");
    EXPECT_EQ(ModbusCheckFileWriteReply(1, 4, echo, n, 2, text), 0);
    EXPECT_STREQ(text, "Write reply had wrong drop");
    echo[0] = 20;
    EXPECT_EQ(ModbusCheckFileWriteReply(1, 1, echo, n, 2, text), 0);
    EXPECT_STREQ(text, "Write reply had wrong opcode");
}

TEST(ModbusPdu, ExceptionTexts) {
    char text[MODBUS_TEXT_SIZE];
    ModbusExceptionReply(13, text);
    EXPECT_STREQ(text, "Modbus error reply 13 "); // no text beyond code 12
    ModbusExceptionReply(0, text);
    EXPECT_STREQ(text, "Modbus error reply 0 ");
    ModbusExceptionReply(255, text);
    EXPECT_STREQ(text, "Modbus error reply 255 ");
    ModbusExceptionReply(2, text);
    EXPECT_EQ(std::string(text).rfind("Modbus error reply 2 ", 0), 0u);
    EXPECT_GT(strlen(text), strlen("Modbus error reply 2 ")); // the code's own text follows
}

TEST(ModbusPdu, ReplyLengthAsFarAsTheHeldBytesTell) {
    struct Case {
        Bytes held;
        int length;
    } cases[] = {
        {{}, 0},                 // nothing yet
        {{0x03}, 0},             // a read's byte count not yet in
        {{0x03, 0x04}, 6},       // two registers
        {{0x01, 0x01, 0x05}, 3}, // one byte of coils
        {{0x04, 0xFA}, 252},     // 125 input registers
        {{0x14, 0x06}, 8},       // file read: its byte count
        {{0x15, 0x09}, 11},      // file write: the request echoed
        {{0x05}, 5},             // coil write: address and value
        {{0x06, 0x00}, 5},       // register write
        {{0x0F}, 5},             // coils write: address and count
        {{0x10, 0x00, 0x01}, 5}, // registers write
        {{0x83}, 2},             // an exception: its code
        {{0x90, 0x02}, 2},       // every exception the same
        {{0x07}, 0},             // a function we do not know
        {{0x2B, 0x0E}, 0},       // nor this one
    };
    for (const Case &c : cases)
        EXPECT_EQ(ModbusReplyLength(c.held.data(), (int)c.held.size()), c.length)
            << "function " << (c.held.empty() ? -1 : c.held[0]) << ", " << c.held.size() << " held";
}
