// symax_demo: a short read/write job on a Sy/Max device through the
// communications library, printing what it read and wrote.
//
//   symax_demo [PORT] [BAUD]     (defaults "COM1:" and 9600)
#include "comm/comm.h"

#include <cstdio>
#include <cstdlib>

static void print_values(const char *what, int start, int count, const uint16_t *v) {
    printf("%s registers %d-%d:", what, start, start + count - 1);
    for (int i = 0; i < count; i++)
        printf(" %u", v[i]);
    printf("\n");
}

int main(int argc, char **argv) {
    const char *port = argc > 1 ? argv[1] : "COM1:";
    int baud = argc > 2 ? atoi(argv[2]) : 9600;
    uint16_t route[] = {1, 1};
    CommHandle *h = OpenSymax(port, 0, route);
    if (h == nullptr) {
        printf("Cannot open %s\n", port);
        return 1;
    }
    SetPortParams(h, baud, 1, 1, 300, 8);
    int status = 0;
    uint16_t v[4] = {0};
    uint16_t w[2] = {1111, 2222};
    if (Read4X(h, 1, 4, v) != 4) {
        printf("Read failed: %s\n", CommErrorText(h));
        status = 1;
    } else {
        print_values("Read", 1, 4, v);
        if (Write4X(h, 3, 2, w) != 2) {
            printf("Write failed: %s\n", CommErrorText(h));
            status = 1;
        } else {
            print_values("Wrote", 3, 2, w);
            if (Read4X(h, 1, 4, v) == 4) {
                print_values("Read", 1, 4, v);
            } else {
                printf("Read failed: %s\n", CommErrorText(h));
                status = 1;
            }
        }
    }
    CommClose(h);
    return status;
}
