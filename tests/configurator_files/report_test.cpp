// Golden text of the printed configuration and rack interface map.
#include "configurator/reports.h"

#include <gtest/gtest.h>

namespace {

// No files, or one file of record length 10, key 2, one window, records 0 to 99.
ModuleConfig Config(uint32_t files) {
    ModuleConfig c;
    ClearConfig(&c);
    c.fileCount = files;
    c.files[0] = FileParams{10, 1, 99, 2, {}};
    return c;
}

const char head[] = "                          VRX740 Rack Interface Map\n"
                    "                         ===========================\n"
                    "Function                       PLC Address   VRX740 Address\n"
                    "-----------------------------  -----------   --------------\n";

} // namespace

TEST(Reports, ConfigurationWithNoFiles) {
    ModuleConfig c = Config(0);
    EXPECT_EQ(ConfigReportText(&c),
              "                             VRX740 Configuration\n"
              "                         ============================\n"
              "Number of Files 0\n"
              "---------------------------------------------------------------------\n");
}

TEST(Reports, ConfigurationPrintsTheValuesHeld) {
    ModuleConfig c = Config(1);
    EXPECT_EQ(ConfigReportText(&c),
              "                             VRX740 Configuration\n"
              "                         ============================\n"
              "Number of Files 1\n"
              "------------------------------ FILE 1 ------------------------------\n"
              "Record Length 10 registers.     Key Length 2 registers.\n"
              " 1 Rack Interface Windows.     Maximum Record Number 99\n"
              "---------------------------------------------------------------------\n");
}

TEST(Reports, MapWithNoFilesHoldsTheGlobalsOnly) {
    ModuleConfig c = Config(0);
    EXPECT_EQ(MapReportText(&c, 1), std::string(head) +
                                        "Number of Files                        1            1\n"
                                        "Baud Rate                              2            2\n");
}

TEST(Reports, MapOfOneFileAtRackAddressOne) {
    ModuleConfig c = Config(1);
    EXPECT_EQ(MapReportText(&c, 1),
              std::string(head) + "Number of Files                        1            1\n"
                                  "Baud Rate                              2            2\n"
                                  "File 1   Record Length                 3            3\n"
                                  "File 1   Number of Windows             4            4\n"
                                  "File 1   Maximum Record Number         5            5\n"
                                  "File 1   Length of Key                 6            6\n"
                                  "File 1   Window 1 Status Register      7            7\n"
                                  "File 1   Window 1 Record Number        8            8\n"
                                  "File 1   Window 1 Record Image         9..18        9..18  \n"
                                  "File 1   Window 1 Command Register    19           19\n");
}

TEST(Reports, MapOfOneFileAtRackAddressHundredAndOne) {
    ModuleConfig c = Config(1);
    EXPECT_EQ(MapReportText(&c, 101),
              std::string(head) + "Number of Files                      101            1\n"
                                  "Baud Rate                            102            2\n"
                                  "File 1   Record Length               103            3\n"
                                  "File 1   Number of Windows           104            4\n"
                                  "File 1   Maximum Record Number       105            5\n"
                                  "File 1   Length of Key               106            6\n"
                                  "File 1   Window 1 Status Register    107            7\n"
                                  "File 1   Window 1 Record Number      108            8\n"
                                  "File 1   Window 1 Record Image       109..118       9..18  \n"
                                  "File 1   Window 1 Command Register   119           19\n");
}
