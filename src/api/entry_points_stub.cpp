// Placeholder until the entry-point frame lands; every call reports no device.
#include "api/entry_points.h"

namespace vexo::api {

std::uint32_t passthru_open(void*, std::uint32_t*) { return ERR_DEVICE_NOT_CONNECTED; }
std::uint32_t passthru_close(std::uint32_t) { return ERR_DEVICE_NOT_CONNECTED; }
std::uint32_t passthru_connect(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t*) {
    return ERR_DEVICE_NOT_CONNECTED;
}
std::uint32_t passthru_disconnect(std::uint32_t) { return ERR_DEVICE_NOT_CONNECTED; }
std::uint32_t passthru_read_msgs(std::uint32_t, PASSTHRU_MSG*, std::uint32_t*, std::uint32_t) {
    return ERR_DEVICE_NOT_CONNECTED;
}
std::uint32_t passthru_write_msgs(std::uint32_t, PASSTHRU_MSG*, std::uint32_t*, std::uint32_t) {
    return ERR_DEVICE_NOT_CONNECTED;
}
std::uint32_t passthru_start_periodic_msg(std::uint32_t, PASSTHRU_MSG*, std::uint32_t*, std::uint32_t) {
    return ERR_DEVICE_NOT_CONNECTED;
}
std::uint32_t passthru_stop_periodic_msg(std::uint32_t, std::uint32_t) { return ERR_DEVICE_NOT_CONNECTED; }
std::uint32_t passthru_start_msg_filter(std::uint32_t, std::uint32_t, PASSTHRU_MSG*, PASSTHRU_MSG*, PASSTHRU_MSG*,
                                        std::uint32_t*) {
    return ERR_DEVICE_NOT_CONNECTED;
}
std::uint32_t passthru_stop_msg_filter(std::uint32_t, std::uint32_t) { return ERR_DEVICE_NOT_CONNECTED; }
std::uint32_t passthru_set_programming_voltage(std::uint32_t, std::uint32_t, std::uint32_t) {
    return ERR_DEVICE_NOT_CONNECTED;
}
std::uint32_t passthru_read_version(std::uint32_t, char*, char*, char*) { return ERR_DEVICE_NOT_CONNECTED; }
std::uint32_t passthru_get_last_error(char*) { return ERR_DEVICE_NOT_CONNECTED; }
std::uint32_t passthru_ioctl(std::uint32_t, std::uint32_t, void*, void*) { return ERR_DEVICE_NOT_CONNECTED; }

}  // namespace vexo::api
