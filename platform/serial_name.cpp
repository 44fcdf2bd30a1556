// Port names as the user gives them.
#include "platform/serial_name.h"

#include <cctype>
#include <cstring>

int SerialComNumber(const char *name, char *device) {
    if (device)
        device[0] = 0;
    if (!name)
        return 0;
    char dev[8] = {0};
    for (int i = 0; i < 7 && name[i]; i++)
        dev[i] = (char)toupper((unsigned char)name[i]);
    // The device name ends at the colon ("COM1:" is COM1).
    if (char *colon = strchr(dev, ':'))
        *colon = 0;
    size_t len = strlen(dev);
    if (len < 4 || strncmp(dev, "COM", 3) != 0)
        return 0;
    int number = 0;
    for (size_t i = 3; i < len; i++) {
        if (!isdigit((unsigned char)dev[i]))
            return 0;
        number = number * 10 + (dev[i] - '0');
    }
    if (number >= 1 && device)
        memcpy(device, dev, sizeof dev);
    return number;
}
