#include "core/last_error.h"

#include "core/breakable_mutex.h"

namespace vexo {

namespace {

struct LastErrorStore {
    BreakableMutex lock;
    std::string text;
};

LastErrorStore& store_instance() {
    static LastErrorStore instance;
    return instance;
}

}  // namespace

namespace last_error {

void store(std::string text) {
    auto& s = store_instance();
    BreakableGuard guard(s.lock);
    if (guard.broken()) return;
    s.text = std::move(text);
}

std::optional<std::string> copy() {
    auto& s = store_instance();
    BreakableGuard guard(s.lock);
    if (guard.broken()) return std::nullopt;
    return s.text;
}

}  // namespace last_error

std::uint32_t to_status(const PassThruError& error) {
    const std::uint32_t status = error.status();
    last_error::store(error.message());
    return status;
}

}  // namespace vexo
