#include "sim/cable_command_stream.h"

#include <algorithm>

#include "sim/cable_command.h"

namespace vexo::sim {

std::vector<ReceivedCommand> CommandStream::feed(std::span<const std::uint8_t> bytes) {
    std::vector<ReceivedCommand> done;
    std::size_t at = 0;
    while (at < bytes.size()) {
        switch (phase_) {
            case Phase::Line: {
                const std::uint8_t byte = bytes[at++];
                current_.line.push_back(static_cast<char>(byte));
                if (byte == '\n') {
                    finish_line(done);
                } else if (current_.line.size() >= max_line_bytes) {
                    current_.overlong = true;
                    done.push_back(std::move(current_));
                    current_ = {};
                    phase_ = Phase::SkipLine;
                }
                break;
            }
            case Phase::Payload: {
                const std::size_t take = std::min(payload_needed_, bytes.size() - at);
                current_.payload.insert(current_.payload.end(), bytes.begin() + at, bytes.begin() + at + take);
                at += take;
                payload_needed_ -= take;
                if (payload_needed_ == 0) {
                    done.push_back(std::move(current_));
                    current_ = {};
                    phase_ = Phase::Line;
                }
                break;
            }
            case Phase::SkipLine:
                if (bytes[at++] == '\n') phase_ = Phase::Line;
                break;
        }
    }
    return done;
}

void CommandStream::finish_line(std::vector<ReceivedCommand>& done) {
    // A line that does not parse announces no payload; what follows it is read as lines.
    const auto parsed = parse_command(current_.line);
    payload_needed_ = parsed ? payload_length(*parsed) : 0;
    if (payload_needed_ > 0) {
        current_.payload.reserve(payload_needed_);
        phase_ = Phase::Payload;
        return;
    }
    done.push_back(std::move(current_));
    current_ = {};
}

}  // namespace vexo::sim
