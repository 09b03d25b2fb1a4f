#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

namespace vexo::sim {

// A test's override of the cable's answer to one command letter.
struct ScriptedReply {
    enum class Action {
        Silence,  // the command takes effect, nothing is answered
        Replace,  // the command takes effect, `bytes` are sent instead of the answer
        Reject,   // the command is refused without effect, answered "are<bytes>\r\n"
    };
    Action action = Action::Silence;
    std::vector<std::uint8_t> bytes;
    unsigned uses = 0;  // commands it applies to; 0 until cleared

    friend bool operator==(const ScriptedReply&, const ScriptedReply&) = default;
};

// Scripted replies queued per command letter: the first one applies; a counted one leaves
// after its uses, letting the next in line apply.
class ReplyScript {
public:
    void add(char letter, ScriptedReply reply) { queues_[letter].push_back(std::move(reply)); }
    void clear(char letter) { queues_.erase(letter); }
    void clear_all() { queues_.clear(); }

    std::optional<ScriptedReply> take(char letter);

private:
    std::map<char, std::deque<ScriptedReply>> queues_;
};

}  // namespace vexo::sim
