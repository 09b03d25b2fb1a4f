#pragma once

#include <string_view>

namespace vexo::api {

// Fills a caller's 80-byte text buffer: the first min(length, 79) bytes, then a NUL.
void write_text_buffer(std::string_view text, char* out);

}  // namespace vexo::api
