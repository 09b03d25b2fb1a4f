#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Reassembles the host's OUT-endpoint bytes, which arrive in arbitrary chunks, into
// command lines and the binary payloads their fields announce.
namespace vexo::sim {

// One command as received: the line byte for byte (CR LF included) and its payload.
struct ReceivedCommand {
    std::string line;
    std::vector<std::uint8_t> payload;
    // The line outgrew max_line_bytes: `line` holds its first bytes, the rest up to the
    // next LF is skipped.
    bool overlong = false;

    friend bool operator==(const ReceivedCommand&, const ReceivedCommand&) = default;
};

class CommandStream {
public:
    // Consumes `bytes` and returns the commands they complete, in order. Bytes of an
    // unfinished line or payload stay buffered for the next call.
    std::vector<ReceivedCommand> feed(std::span<const std::uint8_t> bytes);

private:
    enum class Phase { Line, Payload, SkipLine };

    void finish_line(std::vector<ReceivedCommand>& done);

    Phase phase_ = Phase::Line;
    ReceivedCommand current_;
    std::size_t payload_needed_ = 0;
};

}  // namespace vexo::sim
