// The exported J2534 functions: thin shims over the entry points.
#include "api/entry_points.h"

extern "C" {

J2534_API uint32_t J2534_CALL PassThruOpen(void* pName, uint32_t* pDeviceID) {
    return vexo::api::passthru_open(pName, pDeviceID);
}
J2534_API uint32_t J2534_CALL PassThruClose(uint32_t DeviceID) { return vexo::api::passthru_close(DeviceID); }
J2534_API uint32_t J2534_CALL PassThruConnect(uint32_t DeviceID, uint32_t ProtocolID, uint32_t Flags, uint32_t BaudRate,
                                              uint32_t* pChannelID) {
    return vexo::api::passthru_connect(DeviceID, ProtocolID, Flags, BaudRate, pChannelID);
}
J2534_API uint32_t J2534_CALL PassThruDisconnect(uint32_t ChannelID) {
    return vexo::api::passthru_disconnect(ChannelID);
}
J2534_API uint32_t J2534_CALL PassThruReadMsgs(uint32_t ChannelID, PASSTHRU_MSG* pMsg, uint32_t* pNumMsgs,
                                               uint32_t Timeout) {
    return vexo::api::passthru_read_msgs(ChannelID, pMsg, pNumMsgs, Timeout);
}
J2534_API uint32_t J2534_CALL PassThruWriteMsgs(uint32_t ChannelID, PASSTHRU_MSG* pMsg, uint32_t* pNumMsgs,
                                                uint32_t Timeout) {
    return vexo::api::passthru_write_msgs(ChannelID, pMsg, pNumMsgs, Timeout);
}
J2534_API uint32_t J2534_CALL PassThruStartPeriodicMsg(uint32_t ChannelID, PASSTHRU_MSG* pMsg, uint32_t* pMsgID,
                                                       uint32_t TimeInterval) {
    return vexo::api::passthru_start_periodic_msg(ChannelID, pMsg, pMsgID, TimeInterval);
}
J2534_API uint32_t J2534_CALL PassThruStopPeriodicMsg(uint32_t ChannelID, uint32_t MsgID) {
    return vexo::api::passthru_stop_periodic_msg(ChannelID, MsgID);
}
J2534_API uint32_t J2534_CALL PassThruStartMsgFilter(uint32_t ChannelID, uint32_t FilterType, PASSTHRU_MSG* pMaskMsg,
                                                     PASSTHRU_MSG* pPatternMsg, PASSTHRU_MSG* pFlowControlMsg,
                                                     uint32_t* pFilterID) {
    return vexo::api::passthru_start_msg_filter(ChannelID, FilterType, pMaskMsg, pPatternMsg, pFlowControlMsg,
                                                pFilterID);
}
J2534_API uint32_t J2534_CALL PassThruStopMsgFilter(uint32_t ChannelID, uint32_t FilterID) {
    return vexo::api::passthru_stop_msg_filter(ChannelID, FilterID);
}
J2534_API uint32_t J2534_CALL PassThruSetProgrammingVoltage(uint32_t DeviceID, uint32_t PinNumber, uint32_t Voltage) {
    return vexo::api::passthru_set_programming_voltage(DeviceID, PinNumber, Voltage);
}
J2534_API uint32_t J2534_CALL PassThruReadVersion(uint32_t DeviceID, char* pFirmwareVersion, char* pDllVersion,
                                                  char* pApiVersion) {
    return vexo::api::passthru_read_version(DeviceID, pFirmwareVersion, pDllVersion, pApiVersion);
}
J2534_API uint32_t J2534_CALL PassThruGetLastError(char* pErrorDescription) {
    return vexo::api::passthru_get_last_error(pErrorDescription);
}
J2534_API uint32_t J2534_CALL PassThruIoctl(uint32_t ChannelID, uint32_t IoctlID, void* pInput, void* pOutput) {
    return vexo::api::passthru_ioctl(ChannelID, IoctlID, pInput, pOutput);
}

}  // extern "C"
