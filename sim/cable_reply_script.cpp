#include "sim/cable_reply_script.h"

namespace vexo::sim {

std::optional<ScriptedReply> ReplyScript::take(char letter) {
    const auto found = queues_.find(letter);
    if (found == queues_.end()) return std::nullopt;
    auto& queue = found->second;
    ScriptedReply reply = queue.front();
    if (queue.front().uses > 0 && --queue.front().uses == 0) queue.pop_front();
    if (queue.empty()) queues_.erase(found);
    return reply;
}

}  // namespace vexo::sim
