#include "api/text_output.h"

#include <algorithm>

namespace vexo::api {

void write_text_buffer(std::string_view text, char* out) {
    const std::size_t n = std::min<std::size_t>(text.size(), 79);
    std::copy_n(text.data(), n, out);
    out[n] = '\0';
}

}  // namespace vexo::api
