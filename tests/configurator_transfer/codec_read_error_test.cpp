// The data-file codec on a file whose reads fail: a POSIX directory opened as
// a file is one.
#include "configurator/data_codec.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(CodecFile, AReadErrorIsNotTheEndOfTheData) {
    // A directory opens for reading here, and every read of it fails.
    FILE *f = fopen("/", "rb");
    ASSERT_NE(f, nullptr);
    DataReader r = FileReader(f);
    uint16_t record[1] = {0x5A5A};
    EXPECT_FALSE(ReadDataRecord(&r, 3, 1, record));
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(record[0], 0x5A5A);
    fclose(f);
    // The end of a readable file is only the end.
    f = tmpfile();
    ASSERT_NE(f, nullptr);
    fputs("12", f);
    rewind(f);
    r = FileReader(f);
    EXPECT_TRUE(ReadDataRecord(&r, 3, 1, record));
    EXPECT_EQ(record[0], 12);
    EXPECT_FALSE(ReadDataRecord(&r, 3, 1, record));
    EXPECT_FALSE(r.failed);
    fclose(f);
}

} // namespace
