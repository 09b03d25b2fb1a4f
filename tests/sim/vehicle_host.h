#pragma once

// Drives a CableFirmware the way the host driver does: command lines and payloads in,
// the IN endpoint's bytes out, split into frames and assembled into messages.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/cable_firmware.h"

namespace vexo::sim::testing {

struct OutFrame {
    bool data = false;  // a data frame; otherwise a text line
    std::uint8_t channel = 0;
    std::uint8_t status = 0;
    std::uint32_t ts_us = 0;
    Bytes payload;     // data frames; the raw reply after an "ary" line
    std::string text;  // text lines without CR LF, e.g. "aro6"
};

inline std::vector<OutFrame> split_output(const std::string& out) {
    std::vector<OutFrame> frames;
    std::size_t at = 0;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(out.at(i)); };
    while (at < out.size()) {
        if (out.compare(at, 2, "ar") != 0) throw std::runtime_error("output out of step at " + std::to_string(at));
        OutFrame frame;
        const char kind = out.at(at + 2);
        if (kind >= '3' && kind <= '6') {
            frame.data = true;
            frame.channel = static_cast<std::uint8_t>(kind - '0');
            const std::size_t length = byte(at + 3);
            frame.status = byte(at + 4);
            std::size_t body = at + 5;
            std::size_t body_length = length - 1;
            if (is_can_channel(frame.channel)) {
                frame.ts_us = std::uint32_t{byte(body)} << 24 | std::uint32_t{byte(body + 1)} << 16 |
                              std::uint32_t{byte(body + 2)} << 8 | byte(body + 3);
                body += 4;
                body_length -= 4;
            }
            for (std::size_t i = 0; i < body_length; ++i) frame.payload.push_back(byte(body + i));
            at = body + body_length;
        } else {
            const std::size_t end = out.find("\r\n", at);
            frame.text = out.substr(at, end - at);
            at = end + 2;
            if (kind == 'y') {  // "ary<ch> <len>" then the raw reply
                const std::size_t raw = std::stoul(frame.text.substr(frame.text.find(' ') + 1));
                for (std::size_t i = 0; i < raw; ++i) frame.payload.push_back(byte(at + i));
                at += raw;
            }
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

// Messages as the host assembles them from the data frames of one channel.
inline std::vector<Bytes> assemble(const std::vector<OutFrame>& frames, std::uint8_t channel) {
    std::vector<Bytes> messages;
    Bytes current;
    bool continuation = false;
    const bool can = is_can_channel(channel);
    for (const OutFrame& f : frames) {
        if (!f.data || f.channel != channel) continue;
        const bool end = f.status == status::rx_end;
        if (f.status != status::normal && !end) continue;
        if (f.status == status::normal || can) {
            const std::size_t skip = can && continuation && f.payload.size() >= 4 ? 4 : 0;
            current.insert(current.end(), f.payload.begin() + static_cast<std::ptrdiff_t>(skip), f.payload.end());
            continuation = true;
        }
        if (end) {
            messages.push_back(current);
            current.clear();
            continuation = false;
        }
    }
    return messages;
}

class Host {
public:
    explicit Host(CableFirmware& cable) : cable_(cable) {}

    void send(std::string_view line, const Bytes& payload = {}) {
        Bytes bytes = to_bytes(line);
        append(bytes, payload);
        cable_.host_wrote(bytes);
    }

    // Everything pending, without waiting: the ECUs answer on the writing thread.
    std::vector<OutFrame> take() {
        std::string out;
        std::uint8_t buffer[512];
        while (const std::size_t n = cable_.host_read(buffer, std::chrono::steady_clock::now()))
            out.append(reinterpret_cast<const char*>(buffer), n);
        return split_output(out);
    }

    // Sends and returns the messages the channel receives for it (TxDone frames skipped).
    std::vector<Bytes> exchange(std::string_view line, const Bytes& payload, std::uint8_t channel) {
        send(line, payload);
        return assemble(take(), channel);
    }

    std::vector<Bytes> transmit(std::uint8_t channel, const Bytes& data, std::uint32_t flags) {
        return exchange(
            "att" + std::to_string(channel) + " " + std::to_string(data.size()) + " " + std::to_string(flags) + "\r\n",
            data, channel);
    }

private:
    CableFirmware& cable_;
};

inline Bytes can_message(std::uint32_t id, Bytes data) {
    Bytes out{static_cast<std::uint8_t>(id >> 24), static_cast<std::uint8_t>(id >> 16),
              static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)};
    append(out, data);
    return out;
}

}  // namespace vexo::sim::testing
