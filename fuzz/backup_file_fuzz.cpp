// The ".740" backup file reader fed arbitrary bytes. The header decoder must
// either take the file or leave the image and the reader as they were; the
// scan of the record data must stay inside the bytes; and a file the scan
// passes must read back entry by entry, as a restore reads it, to its end.
#include "configurator/backup_file.h"
#include "configurator/module_access.h"
#include "fuzz/fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static ModuleConfig config, before;
    memset(&config, 0xA5, sizeof config);
    before = config;
    BackupReader r = {data, size, 0};
    uint32_t count = 0;
    BackupHeaderResult h = BackupGetHeader(&r, &config, &count);
    if (h != BH_OK && h != BH_OLD_OK) {
        FUZZ_CHECK(r.pos == 0);
        FUZZ_CHECK(memcmp(&config, &before, sizeof config) == 0);
        return 0;
    }
    FUZZ_CHECK(config.fileCount <= (uint32_t)MAX_FILES && config.fileCount == count);
    FUZZ_CHECK(r.pos <= size);
    BackupScan scan = BackupScanRecords(r, config);
    FUZZ_CHECK(r.pos <= size);
    if (scan.result != BS_OK)
        return 0;
    static uint16_t image[RECORD_BUFFER_WORDS];
    uint32_t entries = 0;
    for (uint32_t i = 0; i < config.fileCount; i++) {
        const FileParams &f = config.files[i];
        for (;;) {
            uint32_t number;
            FUZZ_CHECK(BackupGetNumber(&r, &number));
            if (number >= BACKUP_END_MARK)
                break;
            FUZZ_CHECK(number <= BACKUP_HIGHEST_RECORD);
            FUZZ_CHECK(f.windowCount > 0 && f.recordLength <= MAX_RECORD_LENGTH);
            FUZZ_CHECK(BackupGetImage(&r, f.recordLength, image));
            entries++;
        }
    }
    FUZZ_CHECK(entries == scan.entries);
    // Whatever follows the lock value is padding and is not read; four bytes
    // above 65535 are padding too, not a lock value.
    uint32_t lock = 0;
    bool read = BackupGetNumber(&r, &lock);
    FUZZ_CHECK((read && lock <= 0xFFFF) == scan.hasLock);
    FUZZ_CHECK(!scan.hasLock || scan.lock == lock);
    FUZZ_CHECK(r.pos <= size);
    return 0;
}
