#include <gtest/gtest.h>

#include "core/passthru_error.h"
#include "vexo/j2534.h"

namespace vexo {
namespace {

TEST(ErrorModel, TextsAndStatusesOfEveryVariant) {
    struct Case {
        PassThruError error;
        const char* text;
        std::uint32_t status;
    };
    const Case cases[] = {
        {PassThruError::device_not_connected(), "device not connected", 0x08},
        {PassThruError::device_not_open(), "device not open", 0x08},
        {PassThruError::device_in_use(), "device already open", 0x0E},
        {PassThruError::invalid_device_id(), "invalid device ID", 0x1A},
        {PassThruError::invalid_channel_id(), "invalid channel ID", 0x02},
        {PassThruError::not_supported(), "operation not supported", 0x01},
        {PassThruError::null_parameter(), "null parameter", 0x04},
        {PassThruError::invalid_protocol_id(), "invalid protocol ID", 0x03},
        {PassThruError::invalid_value(0x03, 0xEA60), "invalid value 0x0000ea60 for parameter 0x00000003", 0x05},
        {PassThruError::invalid_value(0, 4), "invalid value 0x00000004 for parameter 0x00000000", 0x05},
        {PassThruError::invalid_msg("CAN message of 3 bytes: a CAN frame holds a 4-byte ID and at most 8 data bytes"),
         "CAN message of 3 bytes: a CAN frame holds a 4-byte ID and at most 8 data bytes", 0x0A},
        {PassThruError::invalid_filter_id(7), "invalid filter ID 7", 0x16},
        {PassThruError::exceeded_limit(), "exceeded maximum resource count", 0x0C},
        {PassThruError::buffer_empty(), "receive buffer empty", 0x10},
        {PassThruError::buffer_full(), "transmit buffer full", 0x11},
        {PassThruError::timeout(), "transport error: operation timed out", 0x09},
        {PassThruError::transport(TransportError::disconnected()), "transport error: transport disconnected", 0x08},
        {PassThruError::transport(TransportError::io(UsbErrorKind::NoDevice)),
         "transport error: I/O error: No such device (it may have been disconnected)", 0x08},
        {PassThruError::transport(TransportError::io("Tactrix bulk write returned 0 bytes")),
         "transport error: I/O error: Tactrix bulk write returned 0 bytes", 0x08},
        {PassThruError::transport(TransportError::frame_too_long(300, 255)),
         "transport error: frame length 300 exceeds maximum 255", 0x08},
        {PassThruError::transport(TransportError::malformed_frame()), "transport error: malformed frame", 0x08},
        {PassThruError::internal("DEVICE mutex poisoned"), "internal error: DEVICE mutex poisoned", 0x07},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.message(), c.text);
        EXPECT_EQ(c.error.status(), c.status) << c.text;
    }
}

TEST(ErrorModel, UsbErrorKindsMapFromLibusbCodes) {
    EXPECT_EQ(usb_error_kind_from_code(-4), UsbErrorKind::NoDevice);
    EXPECT_EQ(usb_error_kind_from_code(-12), UsbErrorKind::NotSupported);
    EXPECT_EQ(usb_error_kind_from_code(-99), UsbErrorKind::Other);
    EXPECT_EQ(usb_error_kind_text(UsbErrorKind::Other), "Other error");
    EXPECT_EQ(usb_error_kind_text(UsbErrorKind::BadDescriptor), "Malformed descriptor");
    EXPECT_EQ(usb_error_kind_name(UsbErrorKind::NotSupported), "NotSupported");
}

TEST(ErrorModel, ToStatusReplacesLastErrorWithTheText) {
    EXPECT_EQ(to_status(PassThruError::device_not_connected()), ERR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(last_error::copy(), "device not connected");
    EXPECT_EQ(to_status(PassThruError::timeout()), ERR_TIMEOUT);
    EXPECT_EQ(last_error::copy(), "transport error: operation timed out");
}

}  // namespace
}  // namespace vexo
