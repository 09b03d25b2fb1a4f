#pragma once

#include <string>
#include <string_view>

#include "tactrix/rx_frame.h"

// How frames read in the log line "tactrix RX frame: {}".
namespace vexo::tactrix {

// "Ack(channel=Some(3))", "Identify(\"...\")", "Data(proto=0x36 kind=Normal ts_us=1000 len=6 payload=[...])".
std::string frame_text(const RxFrame& frame);
// "Normal", ..., "Other(65)".
std::string data_kind_text(DataKind kind);
// The text in double quotes with quotes, backslashes and non-printable characters escaped.
std::string quoted_text(std::string_view text);

}  // namespace vexo::tactrix
