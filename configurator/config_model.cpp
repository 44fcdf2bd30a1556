// The configuration image, its budgets, window placement and validation.
#include "configurator/config_model.h"

#include "screen/screen.h"

#include <cstring>

ModuleConfig g_config;
ModuleConfig g_spare;

void ClearConfig(ModuleConfig *c) {
    memset(c, 0, sizeof *c);
}

static void Report(bool report, const char *message) {
    if (report)
        ShowError(message);
}

bool CheckConfig(ModuleConfig *c, bool report, ConfigBudget *budget) {
    bool error = false;
    long long rackLeft = RACK_INTERFACE_REGISTERS - GLOBAL_REGISTERS;
    long long dataLeft = DATA_STORAGE_REGISTERS;
    if (c->fileCount > MAX_FILES) {
        Report(report, "Number of files exceeds 292, truncating");
        c->fileCount = MAX_FILES;
        error = true;
    }
    for (uint32_t i = 0; i < c->fileCount; i++) {
        FileParams *f = &c->files[i];
        if (f->recordLength > MAX_RECORD_LENGTH) {
            Report(report, "Record length exceeds 2039, truncating");
            f->recordLength = MAX_RECORD_LENGTH;
            error = true;
        }
        if (f->keyLength > f->recordLength) {
            Report(report, "Key Length exceeds Record Length, truncating");
            f->keyLength = f->recordLength;
            error = true;
        }
        rackLeft -= FILE_PARAM_REGISTERS;
        dataLeft -= (long long)(f->recordLength + 1) * (f->maxRecord + 1);
        if (f->windowCount > MAX_WINDOWS) {
            f->windowCount = MAX_WINDOWS;
            Report(report, "Too many windows, truncating.");
            error = true;
        }
        // Windows are placed even once the budget is spent, so that the
        // offsets always follow the layout rule. An offset past 16 bits can
        // only arise in a configuration that is already refused below.
        for (int w = 0; w < f->windowCount; w++) {
            f->windowOffset[w] = (uint16_t)(RACK_INTERFACE_REGISTERS - rackLeft);
            rackLeft -= f->recordLength + WINDOW_OVERHEAD;
        }
    }
    if (dataLeft < 0) {
        Report(report, "Out of data storage registers");
        error = true;
    }
    if (rackLeft < 0) {
        Report(report, "Out of rack interface registers");
        error = true;
    }
    if (budget) {
        budget->rackLeft = rackLeft;
        budget->dataLeft = dataLeft;
    }
    return !error;
}

bool ValidateConfig(bool show) {
    if (show)
        PutFieldF("%3u", 8, 28, 3, ' ', AT_HIGH, (unsigned)g_config.fileCount);
    ConfigBudget b;
    bool ok = CheckConfig(&g_config, true, &b);
    if (show) {
        // The file count may have been cut to 292.
        PutFieldF("%3u", 8, 28, 3, ' ', AT_HIGH, (unsigned)g_config.fileCount);
        if (b.dataLeft < 0)
            PutField("------", 17, 13, 6, ' ', 0);
        else
            PutFieldF("%6lld", 17, 13, 6, ' ', AT_HIGH | PF_RIGHT, b.dataLeft);
        if (b.rackLeft < 0)
            PutField("----", 18, 15, 4, ' ', 0);
        else
            PutFieldF("%4lld", 18, 15, 4, ' ', AT_HIGH | PF_RIGHT, b.rackLeft);
    }
    return ok;
}

void SaveSpareImage(void) {
    memcpy(&g_spare, &g_config, sizeof g_config);
}
void RestoreSpareImage(void) {
    memcpy(&g_config, &g_spare, sizeof g_config);
}

void ConvertOldRecords(const OldFileParams *old, uint32_t count, ModuleConfig *c) {
    if (count > MAX_FILES)
        count = MAX_FILES;
    c->fileCount = count;
    for (uint32_t i = 0; i < count; i++) {
        FileParams *f = &c->files[i];
        memset(f, 0, sizeof *f);
        f->recordLength = old[i].recordLength;
        f->windowCount =
            old[i].windowCount > OLD_MAX_WINDOWS ? OLD_MAX_WINDOWS : old[i].windowCount;
        f->maxRecord = old[i].maxRecord;
        f->keyLength = old[i].keyLength;
        for (int w = 0; w < OLD_MAX_WINDOWS; w++)
            f->windowOffset[w] = old[i].windowOffset[w];
    }
}
