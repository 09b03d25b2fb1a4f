#pragma once

#include <optional>
#include <string>
#include <string_view>

// UTF-8 <-> UTF-16 for the wide Windows calls.
namespace vexo::platform {

// Invalid UTF-8 becomes U+FFFD rather than losing the rest of the text.
std::wstring to_utf16(std::string_view utf8);
// nullopt when the text holds an unpaired surrogate, i.e. is not valid Unicode.
std::optional<std::string> to_utf8(std::wstring_view utf16);
bool is_valid_utf16(std::wstring_view utf16);

}  // namespace vexo::platform
