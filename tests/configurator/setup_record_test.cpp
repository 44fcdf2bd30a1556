// The setup record: defaults, its 40 bytes, every bad field, the setup file
// in the start directory, and the register addressing rule.
#include "fixture.h"

#include "platform/files.h"

#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

using ConfiguratorSetup = ConfiguratorTest;

std::vector<uint8_t> Words(std::vector<uint16_t> w) {
    std::vector<uint8_t> b;
    for (uint16_t v : w) {
        b.push_back((uint8_t)(v & 0xFF));
        b.push_back((uint8_t)(v >> 8));
    }
    return b;
}

// The default record's words in file order.
const std::vector<uint16_t> default_words = {1, 0, 0, 13, 1, 0, 1, 0, 0, 0,
                                             0, 0, 0, 0,  0, 0, 0, 0, 0, 1};

void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write((const char *)bytes.data(), (std::streamsize)bytes.size());
}

std::vector<uint8_t> ReadBytes(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

TEST_F(ConfiguratorSetup, DefaultsAreSymaxOnCom1At9600Even) {
    SetupRecord s;
    memset(&s, 0x5A, sizeof s);
    SetupDefaults(&s);
    uint8_t bytes[SETUP_RECORD_BYTES];
    SetupEncode(&s, bytes);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 40), Words(default_words));
}

TEST_F(ConfiguratorSetup, FieldsGoInFileOrderLittleEndian) {
    // every word different, high bytes too, and every field in range
    std::vector<uint16_t> w = {3,      2,      9,      15,     0,      1,      2,
                               8,      0x0101, 0x0202, 0x0303, 0x0404, 0x0505, 0x0606,
                               0x0707, 0x0808, 3,      1,      1,      0xABCD};
    SetupRecord s;
    ASSERT_EQ(SetupDecode(Words(w).data(), &s), 1);
    EXPECT_EQ(s.connectionType, 3);
    EXPECT_EQ(s.port, 2);
    EXPECT_EQ(s.baseAddress, 9);
    EXPECT_EQ(s.baud, 15);
    EXPECT_EQ(s.dataBits, 0);
    EXPECT_EQ(s.stopBits, 1);
    EXPECT_EQ(s.parity, 2);
    EXPECT_EQ(s.route[0], 8);
    EXPECT_EQ(s.route[8], 0x0808);
    EXPECT_EQ(s.synetSpeed, 3);
    EXPECT_EQ(s.synetSize, 1);
    EXPECT_EQ(s.connectedVia, 1);
    EXPECT_EQ(s.rackAddress, 0xABCD);
    uint8_t back[SETUP_RECORD_BYTES];
    SetupEncode(&s, back);
    EXPECT_EQ(std::vector<uint8_t>(back, back + 40), Words(w));
}

TEST_F(ConfiguratorSetup, EveryBadFieldIsRefused) {
    struct Bad {
        int word;
        uint16_t value;
    } cases[] = {
        {0, 6}, {0, 0xFFFF}, {1, 4},      {2, 10}, {3, 16}, {4, 2},  {5, 2},
        {6, 3}, {7, 9},      {7, 0x8000}, {16, 4}, {17, 2}, {18, 2},
    };
    for (const Bad &c : cases) {
        SCOPED_TRACE(testing::Message() << "word " << c.word << " value " << c.value);
        // a file of good values other than the defaults, with one bad word
        std::vector<uint16_t> w = {2, 3, 4, 15, 0, 1, 0, 2, 11, 22,
                                   0, 0, 0, 0,  0, 0, 2, 1, 1,  1001};
        w[c.word] = c.value;
        SetupRecord s;
        memset(&s, 0x77, sizeof s);
        SetupRecord untouched = s;
        EXPECT_EQ(SetupDecode(Words(w).data(), &s), 0);
        EXPECT_EQ(memcmp(&s, &untouched, sizeof s), 0);

        // over the defaults: the good fields are kept, the bad one stays default
        SetupDefaults(&s);
        EXPECT_EQ(SetupDecodeFields(Words(w).data(), &s), 1);
        uint8_t got[SETUP_RECORD_BYTES];
        SetupEncode(&s, got);
        std::vector<uint16_t> expected = w;
        expected[c.word] = default_words[c.word];
        if (c.word == 7) // the drops go with their count
            for (int d = 8; d <= 15; d++)
                expected[d] = 0;
        EXPECT_EQ(std::vector<uint8_t>(got, got + 40), Words(expected));
    }
}

TEST_F(ConfiguratorSetup, MissingShortBadAndGoodFiles) {
    SetupRecord s;
    // missing
    memset(&s, 0x33, sizeof s);
    EXPECT_EQ(ReadSetupFile(&s), SETUP_MISSING);
    uint8_t bytes[SETUP_RECORD_BYTES];
    SetupEncode(&s, bytes);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 40), Words(default_words));

    // 39 bytes
    std::vector<uint8_t> good =
        Words({2, 1, 0, 15, 1, 1, 2, 1, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1001});
    WriteBytes(Path("VRX740SW.STP"), std::vector<uint8_t>(good.begin(), good.end() - 1));
    memset(&s, 0x33, sizeof s);
    EXPECT_EQ(ReadSetupFile(&s), SETUP_UNREADABLE);
    SetupEncode(&s, bytes);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 40), Words(default_words));

    // a route of 9 drops: unreadable, the other fields kept
    std::vector<uint8_t> bad = good;
    bad[14] = 9;
    WriteBytes(Path("VRX740SW.STP"), bad);
    EXPECT_EQ(ReadSetupFile(&s), SETUP_UNREADABLE);
    EXPECT_EQ(s.connectionType, 2);
    EXPECT_EQ(s.baud, 15);
    EXPECT_EQ(s.route[0], 0);
    EXPECT_EQ(s.rackAddress, 1001);

    // good, under a lower-case name on disk
    std::remove(Path("VRX740SW.STP").c_str());
    WriteBytes(Path("vrx740sw.stp"), good);
    EXPECT_EQ(ReadSetupFile(&s), SETUP_GOOD);
    SetupEncode(&s, bytes);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 40), good);
}

TEST_F(ConfiguratorSetup, WrittenToTheStartDirectoryWhereverThePickerWent) {
    ASSERT_EQ(ChangeDirectory("/"), 1);
    SetupRecord s;
    SetupDefaults(&s);
    s.baud = 15;
    s.route[0] = 2;
    s.route[1] = 300;
    s.route[2] = 5;
    ASSERT_TRUE(WriteSetupFile(&s));
    std::vector<uint8_t> on_disk = ReadBytes(Path("VRX740SW.STP"));
    uint8_t bytes[SETUP_RECORD_BYTES];
    SetupEncode(&s, bytes);
    EXPECT_EQ(on_disk, std::vector<uint8_t>(bytes, bytes + 40));
    SetupRecord back;
    EXPECT_EQ(ReadSetupFile(&back), SETUP_GOOD);
    EXPECT_EQ(memcmp(&back, &s, sizeof s), 0);
}

TEST_F(ConfiguratorSetup, AFileThatCannotBeCreatedIsReported) {
    SetStartDirectory(Path("no-such-directory"));
    SetupRecord s;
    SetupDefaults(&s);
    AnswerErrors(2);
    EXPECT_FALSE(WriteSetupFile(&s));
    DrainKeys();
    EXPECT_EQ(shown_errors, std::vector<std::string>{"Can't open setup file"});
}

TEST_F(ConfiguratorSetup, ModuleRegisterNumbers) {
    g_setup.connectedVia = VIA_PLC_PORT;
    g_setup.rackAddress = 1001;
    EXPECT_EQ(ModuleRegisterNumber(0), 1001);
    EXPECT_EQ(ModuleRegisterNumber(8191), 9192);
    g_setup.connectedVia = VIA_FRONT_PANEL;
    EXPECT_EQ(ModuleRegisterNumber(0), 1);
    EXPECT_EQ(ModuleRegisterNumber(8191 + 8192), 16384);
}

} // namespace
