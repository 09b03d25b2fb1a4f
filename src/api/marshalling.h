#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/device.h"
#include "vexo/j2534.h"

// The caller's records <-> the device's values, in the layout this build of the entry points
// serves. Counts and sizes come from the caller: DataSize is clamped to the Data capacity in both
// directions, so a wrong DataSize can never reach past the record; the array counts of
// SCONFIG_LIST and SBYTE_ARRAY are trusted. Outputs are written at the caller's full width.
namespace vexo::api {

// The first min(DataSize, 4128) bytes of Data.
std::span<const std::uint8_t> data_of(const PASSTHRU_MSG& in);

// Refuses TxFlags wider than 32 bits; the header fields the device does not read saturate.
Result<Message> message_from_passthru(const PASSTHRU_MSG& in);
// Converts count records one by one, growing as it goes rather than trusting count up front.
Result<std::vector<Message>> messages_from_passthru(const PASSTHRU_MSG* in, std::uint32_t count);
// Writes the header fields and the first min(length, 4128) data bytes; the rest of Data is left alone.
void message_to_passthru(const Message& in, PASSTHRU_MSG& out);

// Byte list of at most the first max_bytes bytes: "07 E8 03".
std::string leading_bytes_text(std::span<const std::uint8_t> bytes, std::size_t max_bytes);

// NumOfParams 0 or a null ConfigPtr gives an empty list. A parameter or value wider than 32
// bits is refused as an invalid value.
Result<ConfigList> config_list_from(const SCONFIG_LIST& list);
// "0x1=10400, 0x3=0", at the caller's width.
std::string config_list_text(const SCONFIG_LIST& list);

// NumOfBytes 0 or a null BytePtr gives no bytes.
Bytes bytes_from(const SBYTE_ARRAY& array);
// Copies min(NumOfBytes, size) bytes and shrinks NumOfBytes to that; leaves `out` alone when
// there is nothing to copy or nowhere to copy it.
void bytes_to(const Bytes& bytes, SBYTE_ARRAY& out);

// Fills a caller's 80-byte text buffer: the first min(length, 79) bytes, then a NUL.
void write_text_buffer(std::string_view text, char* out);

}  // namespace vexo::api
