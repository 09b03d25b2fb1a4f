#include "taps.h"

#include <fstream>

namespace vexo::e2e {

std::string WireTap::take() {
    const std::size_t total = sim_.written_bytes(nullptr, 0);
    std::string all(total, '\0');
    sim_.written_bytes(reinterpret_cast<std::uint8_t*>(all.data()), all.size());
    // A reset of the simulated bus starts the record over.
    const std::size_t from = seen_ <= total ? seen_ : 0;
    seen_ = total;
    return all.substr(from);
}

std::vector<std::string> LogTap::all() const {
    std::vector<std::string> lines;
    std::ifstream in(file_, std::ios::binary);
    std::string line;
    // Every line ends in a single LF: a trailing piece without one would be a torn line, and
    // it must show up as such.
    while (std::getline(in, line)) lines.push_back(in.eof() ? line + "<no LF>" : line);
    return lines;
}

std::vector<std::string> LogTap::take() {
    std::vector<std::string> lines = all();
    const std::size_t from = seen_ <= lines.size() ? seen_ : 0;
    seen_ = lines.size();
    return {lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end()};
}

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

}  // namespace vexo::e2e
