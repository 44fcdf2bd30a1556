// Checks of the public operations that need no link: validity mark, argument
// ranges and the coil packing.
#include "comm/comm_internal.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct FakeHandle {
    CommHandle *h;
    explicit FakeHandle(int kind) : h(HandleAllocate(kind)) {}
    ~FakeHandle() { HandleFree(h); }
};

TEST(Handle, WrongMarkGivesHandleNotValidAndLeavesTextAlone) {
    FakeHandle f(LINK_SYMAX);
    SetCommError(f.h, "previous");
    f.h->magic = 0x12345678;
    uint16_t v[4];
    EXPECT_STREQ(CommErrorText(f.h), "Handle not valid");
    EXPECT_EQ(Read4X(f.h, 1, 1, v), 0);
    EXPECT_EQ(Write4X(f.h, 1, 1, v), 0);
    EXPECT_EQ(SetIdleHook(f.h, nullptr, nullptr), 0);
    EXPECT_STREQ(f.h->errorText, "previous");
    f.h->magic = COMM_MAGIC;
    EXPECT_EQ(CommErrorText(nullptr), std::string("Handle not valid"));
    EXPECT_EQ(SetSymaxOptions(nullptr, 1, 1), 0);
}

TEST(Handle, SymaxRegisterRangeAndCounts) {
    FakeHandle f(LINK_SYMAX);
    uint16_t v[130];
    EXPECT_EQ(Read4X(f.h, 16384, 2, v), 0);
    EXPECT_STREQ(CommErrorText(f.h), "Illegal read register");
    EXPECT_EQ(Read4X(f.h, 0, 1, v), 0);
    EXPECT_STREQ(CommErrorText(f.h), "Illegal read register");
    EXPECT_EQ(Write4X(f.h, 0, 1, v), 0);
    EXPECT_STREQ(CommErrorText(f.h), "Illegal write register");
    EXPECT_EQ(Read4X(f.h, 16300, 129, v), 0);
    EXPECT_STREQ(CommErrorText(f.h), "Illegal read register");
    EXPECT_EQ(Read4X(f.h, 100, 129, v), 0);
    EXPECT_STREQ(CommErrorText(f.h), "Illegal read count");
    EXPECT_EQ(Read6X(f.h, 1, 1, 0, v), 0);
    EXPECT_STREQ(CommErrorText(f.h), "Illegal read count");
    SetCommError(f.h, "kept");
    EXPECT_EQ(Read0X(f.h, 0, 1, 1, v), 0); // not provided for Sy/Max
    EXPECT_STREQ(CommErrorText(f.h), "kept");
}

TEST(Handle, UnknownKindIsCorruption) {
    for (int kind : {0, 7, -1, 10}) {
        FakeHandle f(kind);
        uint16_t v[2] = {0, 0};
        EXPECT_EQ(Read4X(f.h, 1, 1, v), 0);
        EXPECT_STREQ(CommErrorText(f.h), "Handle corruption 3") << kind;
        SetCommError(f.h, "");
        EXPECT_EQ(Write0X(f.h, 1, 1, v), 0);
        EXPECT_STREQ(CommErrorText(f.h), "Handle corruption 3") << kind;
    }
}

TEST(Handle, CoilCountLimitAndPacking) {
    FakeHandle f(LINK_SYMAX);
    uint16_t v[21] = {};
    EXPECT_EQ(Write0X(f.h, 1, 21, v), 0);
    EXPECT_STREQ(CommErrorText(f.h), "Illegal write count");
    // Sy/Max has no coil write, but the states are packed before dispatch.
    uint16_t coils[9] = {1, 0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(Write0XMulti(f.h, 1, 9, coils), 0);
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(coils);
    EXPECT_EQ(bytes[0], 0x01);
    EXPECT_EQ(bytes[1], 0x01);
}

TEST(Handle, IdleHookAndOptions) {
    FakeHandle f(LINK_SYMAX);
    int arg = 7;
    auto hook = [](void *a) { return *static_cast<int *>(a); };
    EXPECT_EQ(SetIdleHook(f.h, hook, &arg), 1);
    EXPECT_EQ(f.h->idleHook(f.h->idleArg), 7);
    EXPECT_EQ(SetIdleHook(f.h, nullptr, nullptr), 1);
    EXPECT_EQ(f.h->idleHook(f.h->idleArg), 1);
    EXPECT_EQ(f.h->idleArg, &arg);
    EXPECT_EQ(SetSymaxOptions(f.h, 1, 1), 1);
    EXPECT_TRUE(f.h->txFlags & TXF_CRC);
    EXPECT_EQ(f.h->priority, 1);
    EXPECT_EQ(SetSymaxOptions(f.h, 0, 0), 1);
    EXPECT_FALSE(f.h->txFlags & TXF_CRC);
    EXPECT_EQ(SetPortParams(f.h, 9600, 1, 1, 77, 8), 1);
    EXPECT_EQ(f.h->replyTimeout, 77);
    EXPECT_EQ(OpenSylink(0, 0, nullptr), nullptr);
}

} // namespace
