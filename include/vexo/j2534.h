/* vexo-j2534: SAE J2534-1 (04.04) pass-thru interface for the Tactrix Openport 2.0.
 * Written for this library from the standard's published numeric values. */
#ifndef VEXO_J2534_H
#define VEXO_J2534_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define J2534_CALL __stdcall
#else
#define J2534_CALL
#endif

#if defined(VEXO_J2534_BUILDING)
#if defined(_WIN32)
#define J2534_API __declspec(dllexport)
#else
#define J2534_API __attribute__((visibility("default")))
#endif
#else
#define J2534_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes */
#define STATUS_NOERROR 0x00u
#define ERR_NOT_SUPPORTED 0x01u
#define ERR_INVALID_CHANNEL_ID 0x02u
#define ERR_INVALID_PROTOCOL_ID 0x03u
#define ERR_NULL_PARAMETER 0x04u
#define ERR_INVALID_IOCTL_VALUE 0x05u
#define ERR_INVALID_FLAGS 0x06u
#define ERR_FAILED 0x07u
#define ERR_DEVICE_NOT_CONNECTED 0x08u
#define ERR_TIMEOUT 0x09u
#define ERR_INVALID_MSG 0x0Au
#define ERR_INVALID_TIME_INTERVAL 0x0Bu
#define ERR_EXCEEDED_LIMIT 0x0Cu
#define ERR_INVALID_MSG_ID 0x0Du
#define ERR_DEVICE_IN_USE 0x0Eu
#define ERR_INVALID_IOCTL_ID 0x0Fu
#define ERR_BUFFER_EMPTY 0x10u
#define ERR_BUFFER_FULL 0x11u
#define ERR_BUFFER_OVERFLOW 0x12u
#define ERR_PIN_INVALID 0x13u
#define ERR_CHANNEL_IN_USE 0x14u
#define ERR_MSG_PROTOCOL_ID 0x15u
#define ERR_INVALID_FILTER_ID 0x16u
#define ERR_NO_FLOW_CONTROL 0x17u
#define ERR_NOT_UNIQUE 0x18u
#define ERR_INVALID_BAUDRATE 0x19u
#define ERR_INVALID_DEVICE_ID 0x1Au

/* Protocol IDs */
#define J1850VPW 1u
#define J1850PWM 2u
#define ISO9141 3u
#define ISO14230 4u
#define CAN 5u
#define ISO15765 6u
#define SCI_A_ENGINE 7u
#define SCI_A_TRANS 8u
#define SCI_B_ENGINE 9u
#define SCI_B_TRANS 10u

/* Ioctl IDs */
#define GET_CONFIG 0x01u
#define SET_CONFIG 0x02u
#define READ_VBATT 0x03u
#define FIVE_BAUD_INIT 0x04u
#define FAST_INIT 0x05u
#define CLEAR_TX_BUFFER 0x07u
#define CLEAR_RX_BUFFER 0x08u
#define CLEAR_PERIODIC_MSGS 0x09u
#define CLEAR_MSG_FILTERS 0x0Au
#define CLEAR_FUNCT_MSG_LOOKUP_TABLE 0x0Bu
#define ADD_TO_FUNCT_MSG_LOOKUP_TABLE 0x0Cu
#define DELETE_FROM_FUNCT_MSG_LOOKUP_TABLE 0x0Du
#define READ_PROG_VOLTAGE 0x0Eu

/* Configuration parameter IDs */
#define DATA_RATE 0x01u
#define LOOPBACK 0x03u
#define NODE_ADDRESS 0x04u
#define NETWORK_LINE 0x05u
#define P1_MIN 0x06u
#define P1_MAX 0x07u
#define P2_MIN 0x08u
#define P2_MAX 0x09u
#define P3_MIN 0x0Au
#define P3_MAX 0x0Bu
#define P4_MIN 0x0Cu
#define P4_MAX 0x0Du
#define W1 0x0Eu
#define W2 0x0Fu
#define W3 0x10u
#define W4 0x11u
#define W5 0x12u
#define TIDLE 0x13u
#define TINIL 0x14u
#define TWUP 0x15u
#define PARITY 0x16u
#define BIT_SAMPLE_POINT 0x17u
#define SYNC_JUMP_WIDTH 0x18u
#define W0 0x19u
#define T1_MAX 0x1Au
#define T2_MAX 0x1Bu
#define T4_MAX 0x1Cu
#define T5_MAX 0x1Du
#define ISO15765_BS 0x1Eu
#define ISO15765_STMIN 0x1Fu
#define DATA_BITS 0x20u
#define FIVE_BAUD_MOD 0x21u
#define BS_TX 0x22u
#define STMIN_TX 0x23u
#define T3_MAX 0x24u
#define ISO15765_WFT_MAX 0x25u

/* Filter types */
#define PASS_FILTER 1u
#define BLOCK_FILTER 2u
#define FLOW_CONTROL_FILTER 3u

/* Connect flags */
#define CAN_29BIT_ID 0x0100u
#define ISO9141_NO_CHECKSUM 0x0200u
#define CAN_ID_BOTH 0x0800u
#define ISO9141_K_LINE_ONLY 0x1000u

/* Transmit flags */
#define ISO15765_FRAME_PAD 0x0040u
#define ISO15765_ADDR_TYPE 0x0080u
#define WAIT_P3_MIN_ONLY 0x0200u
#define SW_CAN_HV_TX 0x0400u
#define SCI_MODE 0x00400000u
#define SCI_TX_VOLTAGE 0x00800000u

/* Receive status bits */
#define TX_MSG_TYPE 0x01u
#define START_OF_MESSAGE 0x02u
#define ISO15765_FIRST_FRAME 0x02u
#define RX_BREAK 0x04u
#define TX_INDICATION 0x08u
#define TX_DONE 0x08u
#define ISO15765_PADDING_ERROR 0x10u

/* Programming voltage */
#define SHORT_TO_GROUND 0xFFFFFFFEu
#define VOLTAGE_OFF 0xFFFFFFFFu

#define PASSTHRU_MSG_DATA_SIZE 4128u

typedef struct {
    uint32_t ProtocolID;
    uint32_t RxStatus;
    uint32_t TxFlags;
    uint32_t Timestamp;
    uint32_t DataSize;
    uint32_t ExtraDataIndex;
    uint8_t Data[PASSTHRU_MSG_DATA_SIZE];
} PASSTHRU_MSG;

typedef struct {
    uint32_t Parameter;
    uint32_t Value;
} SCONFIG;

typedef struct {
    uint32_t NumOfParams;
    SCONFIG *ConfigPtr;
} SCONFIG_LIST;

typedef struct {
    uint32_t NumOfBytes;
    uint8_t *BytePtr;
} SBYTE_ARRAY;

/* Every field is a fixed 32-bit type, never a long (32 bits on Windows x64, 64 on Linux x86-64):
   the message is the same on every target; only the two records holding a pointer differ. */
#ifdef __cplusplus
#define J2534_STATIC_ASSERT static_assert
#else
#define J2534_STATIC_ASSERT _Static_assert
#endif
J2534_STATIC_ASSERT(sizeof(PASSTHRU_MSG) == 4152, "PASSTHRU_MSG is 4152 bytes");
J2534_STATIC_ASSERT(offsetof(PASSTHRU_MSG, Data) == 24, "Data follows six 32-bit fields");
J2534_STATIC_ASSERT(sizeof(SCONFIG) == 8, "SCONFIG is two 32-bit fields");
#if UINTPTR_MAX > 0xFFFFFFFFu
J2534_STATIC_ASSERT(sizeof(SCONFIG_LIST) == 16 && offsetof(SCONFIG_LIST, ConfigPtr) == 8,
                    "64-bit targets: the pointer is aligned to 8 after the 32-bit count");
J2534_STATIC_ASSERT(sizeof(SBYTE_ARRAY) == 16 && offsetof(SBYTE_ARRAY, BytePtr) == 8,
                    "64-bit targets: the pointer is aligned to 8 after the 32-bit count");
#else
J2534_STATIC_ASSERT(sizeof(SCONFIG_LIST) == 8 && offsetof(SCONFIG_LIST, ConfigPtr) == 4,
                    "32-bit targets: the pointer follows the 32-bit count");
J2534_STATIC_ASSERT(sizeof(SBYTE_ARRAY) == 8 && offsetof(SBYTE_ARRAY, BytePtr) == 4,
                    "32-bit targets: the pointer follows the 32-bit count");
#endif
#undef J2534_STATIC_ASSERT

J2534_API uint32_t J2534_CALL PassThruOpen(void *pName, uint32_t *pDeviceID);
J2534_API uint32_t J2534_CALL PassThruClose(uint32_t DeviceID);
J2534_API uint32_t J2534_CALL PassThruConnect(uint32_t DeviceID, uint32_t ProtocolID, uint32_t Flags, uint32_t BaudRate,
                                              uint32_t *pChannelID);
J2534_API uint32_t J2534_CALL PassThruDisconnect(uint32_t ChannelID);
J2534_API uint32_t J2534_CALL PassThruReadMsgs(uint32_t ChannelID, PASSTHRU_MSG *pMsg, uint32_t *pNumMsgs,
                                               uint32_t Timeout);
J2534_API uint32_t J2534_CALL PassThruWriteMsgs(uint32_t ChannelID, PASSTHRU_MSG *pMsg, uint32_t *pNumMsgs,
                                                uint32_t Timeout);
J2534_API uint32_t J2534_CALL PassThruStartPeriodicMsg(uint32_t ChannelID, PASSTHRU_MSG *pMsg, uint32_t *pMsgID,
                                                       uint32_t TimeInterval);
J2534_API uint32_t J2534_CALL PassThruStopPeriodicMsg(uint32_t ChannelID, uint32_t MsgID);
J2534_API uint32_t J2534_CALL PassThruStartMsgFilter(uint32_t ChannelID, uint32_t FilterType, PASSTHRU_MSG *pMaskMsg,
                                                     PASSTHRU_MSG *pPatternMsg, PASSTHRU_MSG *pFlowControlMsg,
                                                     uint32_t *pFilterID);
J2534_API uint32_t J2534_CALL PassThruStopMsgFilter(uint32_t ChannelID, uint32_t FilterID);
J2534_API uint32_t J2534_CALL PassThruSetProgrammingVoltage(uint32_t DeviceID, uint32_t PinNumber, uint32_t Voltage);
J2534_API uint32_t J2534_CALL PassThruReadVersion(uint32_t DeviceID, char *pFirmwareVersion, char *pDllVersion,
                                                  char *pApiVersion);
J2534_API uint32_t J2534_CALL PassThruGetLastError(char *pErrorDescription);
J2534_API uint32_t J2534_CALL PassThruIoctl(uint32_t ChannelID, uint32_t IoctlID, void *pInput, void *pOutput);

#ifdef __cplusplus
}
#endif

#endif
