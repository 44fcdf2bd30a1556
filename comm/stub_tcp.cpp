// TEMPORARY: placeholders until the TCP back ends land. Delete this file then.
#include "comm/comm_internal.h"
CommHandle *OpenModbusTCP(const char *, unsigned, int) { return nullptr; }
CommHandle *OpenRTUoverTCP(const char *, unsigned, int) { return nullptr; }
void TcpClose(CommHandle *) {}
int ModbusTcpRead(CommHandle *, int, int, uint16_t *, int) { return 0; }
int ModbusTcpWrite(CommHandle *, int, int, uint16_t *, int) { return 0; }
int ModbusTcpFileRead(CommHandle *, int, int, int, int, uint16_t *) { return 0; }
int ModbusTcpFileWrite(CommHandle *, int, int, int, uint16_t *) { return 0; }
int ModbusTcpInputWrite(CommHandle *, int, int, uint16_t *) { return 0; }
