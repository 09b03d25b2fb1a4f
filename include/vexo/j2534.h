/* vexo-j2534: SAE J2534-1 (04.04) pass-thru interface for the Tactrix Openport 2.0.
 * Written for this library from the standard's published numeric values. */
#ifndef VEXO_J2534_H
#define VEXO_J2534_H

#include <limits.h>
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

/* Code that needs the numbers above and nothing else defines VEXO_J2534_VALUES_ONLY: the
   records below have one layout per ABI, and such code must not depend on either. */
#if !defined(VEXO_J2534_VALUES_ONLY)

/* The standard declares every field, argument and output `unsigned long` and the status `long`.
   That is 32 bits on Windows and 64 on 64-bit Linux, where C, C++, Qt, Python c_ulong and JNA
   clients lay the records out with 8-byte fields: libvexo_j2534_0404.so. Clients that declare
   32-bit fields (Rust's u32, for one) load libvexo_j2534_0404_fixed32.so and compile with
   VEXO_J2534_FIXED32. On Windows both are the same 32-bit layout. */
#if defined(_WIN32) || defined(VEXO_J2534_FIXED32)
typedef uint32_t J2534_ULONG;
typedef uint32_t J2534_STATUS;
#else
typedef unsigned long J2534_ULONG;
typedef long J2534_STATUS;
#endif

typedef struct {
    J2534_ULONG ProtocolID;
    J2534_ULONG RxStatus;
    J2534_ULONG TxFlags;
    J2534_ULONG Timestamp;
    J2534_ULONG DataSize;
    J2534_ULONG ExtraDataIndex;
    uint8_t Data[PASSTHRU_MSG_DATA_SIZE];
} PASSTHRU_MSG;

typedef struct {
    J2534_ULONG Parameter;
    J2534_ULONG Value;
} SCONFIG;

typedef struct {
    J2534_ULONG NumOfParams;
    SCONFIG *ConfigPtr;
} SCONFIG_LIST;

typedef struct {
    J2534_ULONG NumOfBytes;
    uint8_t *BytePtr;
} SBYTE_ARRAY;

/* Each record's size and field offsets, for the layout this target and macro select. */
#ifdef __cplusplus
#define J2534_STATIC_ASSERT static_assert
#else
#define J2534_STATIC_ASSERT _Static_assert
#endif
#define J2534_ASSERT_LAYOUT(record, size) J2534_STATIC_ASSERT(sizeof(record) == (size), #record " is " #size " bytes")
#define J2534_ASSERT_FIELD(record, field, offset) \
    J2534_STATIC_ASSERT(offsetof(record, field) == (offset), #record "." #field " is at " #offset)
#if !defined(_WIN32) && !defined(VEXO_J2534_FIXED32) && ULONG_MAX > 0xFFFFFFFFu
J2534_ASSERT_LAYOUT(PASSTHRU_MSG, 4176);
J2534_ASSERT_FIELD(PASSTHRU_MSG, RxStatus, 8);
J2534_ASSERT_FIELD(PASSTHRU_MSG, TxFlags, 16);
J2534_ASSERT_FIELD(PASSTHRU_MSG, Timestamp, 24);
J2534_ASSERT_FIELD(PASSTHRU_MSG, DataSize, 32);
J2534_ASSERT_FIELD(PASSTHRU_MSG, ExtraDataIndex, 40);
J2534_ASSERT_FIELD(PASSTHRU_MSG, Data, 48);
J2534_ASSERT_LAYOUT(SCONFIG, 16);
J2534_ASSERT_FIELD(SCONFIG, Value, 8);
#else
J2534_ASSERT_LAYOUT(PASSTHRU_MSG, 4152);
J2534_ASSERT_FIELD(PASSTHRU_MSG, RxStatus, 4);
J2534_ASSERT_FIELD(PASSTHRU_MSG, TxFlags, 8);
J2534_ASSERT_FIELD(PASSTHRU_MSG, Timestamp, 12);
J2534_ASSERT_FIELD(PASSTHRU_MSG, DataSize, 16);
J2534_ASSERT_FIELD(PASSTHRU_MSG, ExtraDataIndex, 20);
J2534_ASSERT_FIELD(PASSTHRU_MSG, Data, 24);
J2534_ASSERT_LAYOUT(SCONFIG, 8);
J2534_ASSERT_FIELD(SCONFIG, Value, 4);
#endif
/* The count and a pointer: 8 and 8 on 64-bit targets whatever the count's width (padding fills
   a 32-bit one), 4 and 4 on 32-bit targets. */
#if UINTPTR_MAX > 0xFFFFFFFFu
J2534_ASSERT_LAYOUT(SCONFIG_LIST, 16);
J2534_ASSERT_FIELD(SCONFIG_LIST, ConfigPtr, 8);
J2534_ASSERT_LAYOUT(SBYTE_ARRAY, 16);
J2534_ASSERT_FIELD(SBYTE_ARRAY, BytePtr, 8);
#else
J2534_ASSERT_LAYOUT(SCONFIG_LIST, 8);
J2534_ASSERT_FIELD(SCONFIG_LIST, ConfigPtr, 4);
J2534_ASSERT_LAYOUT(SBYTE_ARRAY, 8);
J2534_ASSERT_FIELD(SBYTE_ARRAY, BytePtr, 4);
#endif
J2534_ASSERT_FIELD(PASSTHRU_MSG, ProtocolID, 0);
J2534_ASSERT_FIELD(SCONFIG, Parameter, 0);
J2534_ASSERT_FIELD(SCONFIG_LIST, NumOfParams, 0);
J2534_ASSERT_FIELD(SBYTE_ARRAY, NumOfBytes, 0);
#undef J2534_ASSERT_FIELD
#undef J2534_ASSERT_LAYOUT
#undef J2534_STATIC_ASSERT

/* The fourteen functions, written once: X(name, (parameters)) each, one a line, as tools that
   read this list expect. Every one returns J2534_STATUS. */
/* clang-format off */
#define VEXO_J2534_FUNCTIONS(X) \
    X(PassThruOpen, (void *pName, J2534_ULONG *pDeviceID)) \
    X(PassThruClose, (J2534_ULONG DeviceID)) \
    X(PassThruConnect, (J2534_ULONG DeviceID, J2534_ULONG ProtocolID, J2534_ULONG Flags, J2534_ULONG BaudRate, J2534_ULONG *pChannelID)) \
    X(PassThruDisconnect, (J2534_ULONG ChannelID)) \
    X(PassThruReadMsgs, (J2534_ULONG ChannelID, PASSTHRU_MSG *pMsg, J2534_ULONG *pNumMsgs, J2534_ULONG Timeout)) \
    X(PassThruWriteMsgs, (J2534_ULONG ChannelID, PASSTHRU_MSG *pMsg, J2534_ULONG *pNumMsgs, J2534_ULONG Timeout)) \
    X(PassThruStartPeriodicMsg, (J2534_ULONG ChannelID, PASSTHRU_MSG *pMsg, J2534_ULONG *pMsgID, J2534_ULONG TimeInterval)) \
    X(PassThruStopPeriodicMsg, (J2534_ULONG ChannelID, J2534_ULONG MsgID)) \
    X(PassThruStartMsgFilter, (J2534_ULONG ChannelID, J2534_ULONG FilterType, PASSTHRU_MSG *pMaskMsg, PASSTHRU_MSG *pPatternMsg, PASSTHRU_MSG *pFlowControlMsg, J2534_ULONG *pFilterID)) \
    X(PassThruStopMsgFilter, (J2534_ULONG ChannelID, J2534_ULONG FilterID)) \
    X(PassThruSetProgrammingVoltage, (J2534_ULONG DeviceID, J2534_ULONG PinNumber, J2534_ULONG Voltage)) \
    X(PassThruReadVersion, (J2534_ULONG DeviceID, char *pFirmwareVersion, char *pDllVersion, char *pApiVersion)) \
    X(PassThruGetLastError, (char *pErrorDescription)) \
    X(PassThruIoctl, (J2534_ULONG ChannelID, J2534_ULONG IoctlID, void *pInput, void *pOutput))
/* clang-format on */

/* For loaders that bind the library at run time: PFN_PassThruOpen and the others, and a table
   of all fourteen. Such a loader may define VEXO_J2534_NO_PROTOTYPES to declare no function. */
#define VEXO_J2534_POINTER_TYPE(name, parameters) typedef J2534_STATUS(J2534_CALL *PFN_##name) parameters;
VEXO_J2534_FUNCTIONS(VEXO_J2534_POINTER_TYPE)
#undef VEXO_J2534_POINTER_TYPE

#define VEXO_J2534_TABLE_ENTRY(name, parameters) PFN_##name name;
typedef struct {
    VEXO_J2534_FUNCTIONS(VEXO_J2534_TABLE_ENTRY)
} J2534_FUNCTIONS;
#undef VEXO_J2534_TABLE_ENTRY

#if !defined(VEXO_J2534_NO_PROTOTYPES)
#define VEXO_J2534_PROTOTYPE(name, parameters) J2534_API J2534_STATUS J2534_CALL name parameters;
VEXO_J2534_FUNCTIONS(VEXO_J2534_PROTOTYPE)
#undef VEXO_J2534_PROTOTYPE
#endif

#endif /* VEXO_J2534_VALUES_ONLY */

#ifdef __cplusplus
}
#endif

#endif
