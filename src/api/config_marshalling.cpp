#include "api/config_marshalling.h"

#include <algorithm>
#include <cstring>

#include "core/text_format.h"

namespace vexo::api {

namespace {
constexpr std::uint32_t kReserveLimit = 1024;
}

ConfigList config_list_from(const SCONFIG_LIST& list) {
    ConfigList pairs;
    if (list.ConfigPtr == nullptr) return pairs;
    pairs.reserve(std::min(list.NumOfParams, kReserveLimit));
    for (std::uint32_t i = 0; i < list.NumOfParams; ++i) {
        pairs.push_back({list.ConfigPtr[i].Parameter, list.ConfigPtr[i].Value});
    }
    return pairs;
}

std::string config_list_text(const ConfigList& pairs) {
    std::string out;
    for (const ConfigPair& p : pairs) {
        if (!out.empty()) out += ", ";
        out += text::hex_prefixed(p.parameter) + "=" + text::dec(p.value);
    }
    return out;
}

Bytes bytes_from(const SBYTE_ARRAY& array) {
    if (array.BytePtr == nullptr) return {};
    return Bytes(array.BytePtr, array.BytePtr + array.NumOfBytes);
}

void bytes_to(const Bytes& bytes, SBYTE_ARRAY& out) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(out.NumOfBytes, bytes.size()));
    if (n == 0 || out.BytePtr == nullptr) return;
    std::memcpy(out.BytePtr, bytes.data(), n);
    out.NumOfBytes = n;
}

}  // namespace vexo::api
