#pragma once

#include <cstdint>

#include "vexo/j2534.h"

// The fourteen entry points as C++ functions; exports.cpp only forwards to them.
// None of them lets an exception escape.
namespace vexo::api {

std::uint32_t passthru_open(void* name, std::uint32_t* device_id);
std::uint32_t passthru_close(std::uint32_t device_id);
std::uint32_t passthru_connect(std::uint32_t device_id, std::uint32_t protocol_id, std::uint32_t flags,
                               std::uint32_t baud_rate, std::uint32_t* channel_id);
std::uint32_t passthru_disconnect(std::uint32_t channel_id);
std::uint32_t passthru_read_msgs(std::uint32_t channel_id, PASSTHRU_MSG* msgs, std::uint32_t* num_msgs,
                                 std::uint32_t timeout);
std::uint32_t passthru_write_msgs(std::uint32_t channel_id, PASSTHRU_MSG* msgs, std::uint32_t* num_msgs,
                                  std::uint32_t timeout);
std::uint32_t passthru_start_periodic_msg(std::uint32_t channel_id, PASSTHRU_MSG* msg, std::uint32_t* msg_id,
                                          std::uint32_t interval);
std::uint32_t passthru_stop_periodic_msg(std::uint32_t channel_id, std::uint32_t msg_id);
std::uint32_t passthru_start_msg_filter(std::uint32_t channel_id, std::uint32_t filter_type, PASSTHRU_MSG* mask,
                                        PASSTHRU_MSG* pattern, PASSTHRU_MSG* flow_control, std::uint32_t* filter_id);
std::uint32_t passthru_stop_msg_filter(std::uint32_t channel_id, std::uint32_t filter_id);
std::uint32_t passthru_set_programming_voltage(std::uint32_t device_id, std::uint32_t pin, std::uint32_t voltage);
std::uint32_t passthru_read_version(std::uint32_t device_id, char* firmware, char* dll, char* api);
std::uint32_t passthru_get_last_error(char* description);
std::uint32_t passthru_ioctl(std::uint32_t channel_id, std::uint32_t ioctl_id, void* input, void* output);

}  // namespace vexo::api
