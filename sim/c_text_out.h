#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

namespace vexo::sim {

// The C controls' text convention: copy what fits with a NUL, return the whole length so the
// caller can ask again with room enough.
inline std::size_t copy_text_out(const std::string& text, char* out, std::size_t capacity) {
    if (out != nullptr && capacity > 0) {
        const std::size_t n = std::min(capacity - 1, text.size());
        std::memcpy(out, text.data(), n);
        out[n] = '\0';
    }
    return text.size();
}

}  // namespace vexo::sim
