// The receive path as the cable feeds it: a byte stream, cut into reads at points the input
// chooses, parsed by the session's receive and assembled into messages until nothing more
// comes. Must never crash, read out of bounds, or go round without consuming input.
#include <cstdlib>
#include <map>
#include <memory>

#include "core/protocols.h"
#include "fuzz_input.h"
#include "sim/sim_control.h"
#include "sim/sim_scripted_link.h"
#include "tactrix/cable_session.h"
#include "tactrix/channels.h"
#include "vexo/j2534.h"

using namespace vexo;
using namespace vexo::tactrix;

namespace {

struct Cable {
    std::shared_ptr<sim::ScriptedLink> link = std::make_shared<sim::ScriptedLink>();
    CableSession session;
};

Cable& cable() {
    static Cable* const made = [] {
        auto* c = new Cable;
        sim::install_link(sim::attach_cables(1), c->link);
        if (!c->session.open()) std::abort();
        return c;
    }();
    return *made;
}

void check(bool holds) {
    if (!holds) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every frame is logged; a log directory that does not exist keeps that cheap.
    setenv("TEMP", "/nonexistent/vexo-fuzz", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Cable& c = cable();
    FuzzInput input({data, size});
    // The first bytes say where the reads end: up to 8 cuts, each 1 to 512 bytes after the last.
    std::size_t cuts[8];
    const std::size_t cut_count = input.byte() % 9;
    for (std::size_t i = 0; i < cut_count; ++i) cuts[i] = 1 + input.u16() % 512;
    const auto stream = input.rest();

    std::map<std::uint8_t, MessageAssembly> messages;
    std::size_t pushed = 0;
    std::size_t frames = 0;
    for (std::size_t chunk = 0; pushed < stream.size(); ++chunk) {
        const std::size_t length = chunk < cut_count ? std::min(cuts[chunk], stream.size() - pushed)
                                                     : std::min<std::size_t>(512, stream.size() - pushed);
        c.link->push_output(stream.subspan(pushed, length));
        pushed += length;
        check(c.session.poll().has_value());
        check(c.link->pending_output() == 0);
        for (;;) {
            auto frame = c.session.receive(std::chrono::nanoseconds(0));
            if (!frame) {
                check(frame.error().is_timeout());
                break;
            }
            // Every frame takes at least three bytes of the stream.
            check(++frames * 3 <= pushed);
            const auto* bytes = frame->as<RxFrame::Data>();
            if (bytes == nullptr) continue;
            const ProtocolFacts* protocol = protocol_on_channel(static_cast<std::uint32_t>(bytes->proto - '0'));
            check(protocol != nullptr);
            MessageAssembly& message = messages[bytes->proto];
            if (feed_frame(message, *bytes, protocol->can) == AssemblyStep::Open) {
                check(message.data.size() <= PASSTHRU_MSG_DATA_SIZE);
                continue;
            }
            const Message done = complete_message(message, protocol->id);
            check(done.data.size() <= PASSTHRU_MSG_DATA_SIZE);
            check(done.extra_data_index == done.data.size());
        }
    }
    // What is left is the start of a frame still arriving; the next input starts afresh.
    const std::size_t left = c.session.buffered().size();
    check(left <= std::max<std::size_t>(kMaxTextLine, 300));
    check(c.session.read_exact(left).has_value());
    // The simulated libusb records every call; keeping the record would look like a leak to
    // libFuzzer, which then scans for leaks after every input.
    sim::clear_calls();
    return 0;
}
