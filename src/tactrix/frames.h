#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

// What the cable sends: its frames, how they are recognised in the byte stream, and how they
// read in the log line "tactrix RX frame: {}".
namespace vexo::tactrix {

// Class of a data frame's status byte. Bits 0x02 and 0x08 play no part; an unknown class
// keeps the whole byte so the log still shows what arrived.
class DataKind {
public:
    enum Tag : std::uint8_t {
        Normal,
        TxDone,
        TxLoopback,
        RxEnd,
        RxEndExtended,
        LoopbackEnd,
        NormalStart,
        TxLoopbackStart,
        Other,
    };

    constexpr DataKind(Tag tag) : tag_(tag) {}
    static constexpr DataKind other(std::uint8_t status) { return DataKind(Other, status); }

    constexpr Tag tag() const { return tag_; }
    // The status byte of an Other kind; 0 for the named classes.
    constexpr std::uint8_t other_status() const { return status_; }

    friend constexpr bool operator==(DataKind, DataKind) = default;

private:
    constexpr DataKind(Tag tag, std::uint8_t status) : tag_(tag), status_(status) {}

    Tag tag_;
    std::uint8_t status_ = 0;
};

// Classifies a data frame's status byte by S & 0xF5.
DataKind data_kind_of(std::uint8_t status);

// One frame received from the cable.
struct RxFrame {
    // "aro" line.
    struct Ack {
        std::optional<std::uint8_t> channel;
        friend bool operator==(const Ack&, const Ack&) = default;
    };
    // "ari" line.
    struct Identify {
        std::string text;
        friend bool operator==(const Identify&, const Identify&) = default;
    };
    // "are" line.
    struct Error {
        std::string text;
        friend bool operator==(const Error&, const Error&) = default;
    };
    // "arf" line.
    struct FilterAck {
        std::uint32_t id = 0;
        friend bool operator==(const FilterAck&, const FilterAck&) = default;
    };
    // "ary" line; `len` raw response bytes follow it unframed.
    struct FastInitAck {
        std::uint8_t channel = 0;
        std::uint32_t len = 0;
        friend bool operator==(const FastInitAck&, const FastInitAck&) = default;
    };
    // "arr" line.
    struct AnalogReading {
        std::uint8_t pin = 0;
        std::uint32_t mV = 0;
        friend bool operator==(const AnalogReading&, const AnalogReading&) = default;
    };
    // Binary "ar{channel}" frame.
    struct Data {
        std::vector<std::uint8_t> payload;
        std::uint32_t ts_us = 0;  // 0 on channels without a timestamp
        DataKind kind = DataKind::Normal;
        std::uint8_t proto = 0;  // the channel digit, as a character
        friend bool operator==(const Data&, const Data&) = default;
    };

    using Value = std::variant<Ack, Identify, Error, FilterAck, FastInitAck, AnalogReading, Data>;

    Value value;

    template <class T>
    const T* as() const {
        return std::get_if<T>(&value);
    }
    template <class T>
    T* as() {
        return std::get_if<T>(&value);
    }

    friend bool operator==(const RxFrame&, const RxFrame&) = default;
};

// Why the front of the receive buffer holds no frame. Everything but NeedMoreData means the
// stream is out of step and the reader drops one byte.
struct ParseError {
    enum Kind : std::uint8_t { NeedMoreData, BadStartMarker, InvalidLen, InvalidUtf8, UnknownDiscriminator, LineTooLong };

    Kind kind;
    std::uint8_t discriminator = 0;  // the third byte, for UnknownDiscriminator

    friend bool operator==(const ParseError&, const ParseError&) = default;
};

// "NeedMoreData", ..., "UnknownDiscriminator(122)".
std::string parse_error_text(const ParseError& error);

using ParsedFrame = std::pair<std::size_t, RxFrame>;  // bytes consumed, frame

// The longest text line taken, LF included. The cable's lines are a few dozen bytes; a line
// still without LF beyond this is the stream out of step, not a line still arriving.
inline constexpr std::size_t kMaxTextLine = 4096;

// Recognises the one frame at the front of the bytes. Pure; copies only the payload or text.
// `no_lf_before` says the first bytes are known to hold no LF: a reader that got NeedMoreData
// passes the size it parsed then, while the front is unchanged, so the search for a line's end
// resumes instead of starting over and draining a long line stays linear.
std::expected<ParsedFrame, ParseError> parse_frame(std::span<const std::uint8_t> bytes,
                                                   std::size_t no_lf_before = 0);

// "Ack(channel=Some(3))", "Identify(\"...\")", "Data(proto=0x36 kind=Normal ts_us=1000 len=6 payload=[...])".
std::string frame_text(const RxFrame& frame);
// "Normal", ..., "Other(65)".
std::string data_kind_text(DataKind kind);
// The text in double quotes with quotes, backslashes and non-printable characters escaped.
std::string quoted_text(std::string_view text);

}  // namespace vexo::tactrix
