// The four serial receive framers (Sy/Max, gateway, Modbus RTU and ASCII) fed
// byte by byte by a device the input plays, followed by the reply checks of
// the read or write that waits for them. The bytes of each reply past its end
// are poisoned (fuzz_link.cpp), so a check that reads them is a finding.
//
// Input: mode, operations, count, then the device's segments (a length byte
// and that many bytes, one segment each time a request waits).
//   mode bits 0-1: 0 Sy/Max, 1 gateway, 2 Modbus RTU, 3 Modbus ASCII
//        bit 2: Sy/Max CRC, bit 3: priority opcodes, bit 4: each Sy/Max
//        segment goes out as a well-framed frame, bit 5: Net-to-Net
//   operations: two operation numbers (low and high nibble), run in turn.
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_link.h"

#include <cstring>

namespace {

const int kinds[4] = {LINK_SYMAX, LINK_GATEWAY, LINK_MODBUS_RTU, LINK_MODBUS_ASCII};

// Whether the link kind carries the operation (the others fail without a text).
bool Carried(int kind, int op) {
    if (kind == LINK_SYMAX)
        return op == 0 || op == 1 || op == 2 || op == 5 || op == 6 || op == 7;
    if (kind == LINK_GATEWAY)
        return op == 0 || op == 5 || op == 6;
    return true;
}

int baseline = -1;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3)
        return 0;
    if (baseline < 0) {
        pool_add_new(8);
        baseline = pool_count();
    }
    uint8_t mode = data[0];
    uint8_t ops = data[1];
    int count = data[2] % FUZZ_MOST + 1;
    FuzzDevice device = {};
    device.data = data + 3;
    device.size = size - 3;
    device.framed = (mode & 0x10) != 0;
    CommHandle *h = FuzzLinkOpen(kinds[mode & 3], &device);
    if (!h)
        return 0;
    if (h->kind == LINK_SYMAX) {
        SetSymaxOptions(h, (mode & 4) != 0, (mode & 8) != 0);
        h->netToNet = (mode & 0x20) ? 1 : 0;
        if (h->netToNet) {
            h->route.count = 2;
            h->route.drops[1] = 5;
        }
    }
    FuzzRunOperations(h, ops, count, Carried);
    FuzzLinkClose(h);
    FUZZ_CHECK(pool_count() == baseline); // every buffer came back
    return 0;
}
