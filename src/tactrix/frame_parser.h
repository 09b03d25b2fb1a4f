#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <utility>

#include "tactrix/rx_frame.h"

namespace vexo::tactrix {

// Why the front of the receive buffer holds no frame. Everything but NeedMoreData means the
// stream is out of step and the reader drops one byte.
struct ParseError {
    enum Kind : std::uint8_t { NeedMoreData, BadStartMarker, InvalidLen, InvalidUtf8, UnknownDiscriminator };

    Kind kind;
    std::uint8_t discriminator = 0;  // the third byte, for UnknownDiscriminator

    friend bool operator==(const ParseError&, const ParseError&) = default;
};

// "NeedMoreData", ..., "UnknownDiscriminator(122)".
std::string parse_error_text(const ParseError& error);

using ParsedFrame = std::pair<std::size_t, RxFrame>;  // bytes consumed, frame

// Recognises the one frame at the front of the bytes. Pure; copies only the payload or text.
std::expected<ParsedFrame, ParseError> parse_frame(std::span<const std::uint8_t> bytes);

}  // namespace vexo::tactrix
