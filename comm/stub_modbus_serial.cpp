// TEMPORARY: placeholders until the gateway and Modbus serial back ends land. Delete this file then.
#include "comm/comm_internal.h"
void GatewayRxByte(CommHandle *, uint8_t) {}
unsigned GatewayTxByte(CommHandle *) { return TX_NOTHING; }
int GatewayRead(CommHandle *, int, int, uint16_t *) { return 0; }
int GatewayWrite(CommHandle *, int, int, uint16_t *) { return 0; }
void RtuRxByte(CommHandle *, uint8_t) {}
unsigned RtuTxByte(CommHandle *) { return TX_NOTHING; }
void CloseRtuFrame(CommHandle *) {}
void AsciiRxByte(CommHandle *, uint8_t) {}
unsigned AsciiTxByte(CommHandle *) { return TX_NOTHING; }
int ModbusSerialRead(CommHandle *, int, int, uint16_t *, int) { return 0; }
int ModbusSerialWrite(CommHandle *, int, int, uint16_t *, int) { return 0; }
int ModbusSerialFileRead(CommHandle *, int, int, int, int, uint16_t *) { return 0; }
int ModbusSerialFileWrite(CommHandle *, int, int, int, uint16_t *) { return 0; }
int ModbusSerialInputWrite(CommHandle *, int, int, uint16_t *) { return 0; }
