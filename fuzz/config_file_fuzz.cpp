// The .VRX reader fed arbitrary bytes. A refused file must leave the image
// exactly as it was; a taken one holds at most 292 files, leaves the records
// past its count alone, and (current format) writes back as the very bytes it
// was read from. Validation of whatever was taken must not fault either.
#include "configurator/config_files.h"
#include "fuzz/fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static ModuleConfig image, before;
    memset(&image, 0xA5, sizeof image);
    image.fileCount = 7;
    memcpy(&before, &image, sizeof image);
    ConfigFileResult r = DecodeConfigFile(data, size, &image);
    if (r != CFG_OK && r != CFG_OK_OLD) {
        FUZZ_CHECK(memcmp(&image, &before, sizeof image) == 0);
        return 0;
    }
    uint32_t count = image.fileCount;
    FUZZ_CHECK(count <= MAX_FILES);
    FUZZ_CHECK(memcmp(&image.files[count], &before.files[count],
                      sizeof(FileParams) * (MAX_FILES - count)) == 0);
    if (r == CFG_OK) {
        std::vector<uint8_t> again = EncodeConfigFile(&image);
        FUZZ_CHECK(again.size() <= size);
        FUZZ_CHECK(memcmp(again.data(), data, again.size()) == 0);
    } else {
        for (uint32_t i = 0; i < count; i++)
            FUZZ_CHECK(image.files[i].windowCount <= OLD_MAX_WINDOWS);
    }
    CheckConfig(&image, false, nullptr);
    FUZZ_CHECK(image.fileCount == count);
    return 0;
}
