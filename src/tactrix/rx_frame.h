#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

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
    // Binary "ar3".."ar6" frame.
    struct Data {
        std::vector<std::uint8_t> payload;
        std::uint32_t ts_us = 0;  // 0 on channels without a timestamp
        DataKind kind = DataKind::Normal;
        std::uint8_t proto = 0;  // the discriminator character '3'..'6'
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

}  // namespace vexo::tactrix
