// Stand-in until the firmware model lands: a cable that never answers.
#include <memory>
#include <thread>

#include "sim/cable_link.h"

namespace vexo::sim {

std::unique_ptr<CableLink> make_cable_firmware();

namespace {
class SilentCable : public CableLink {
public:
    void host_wrote(std::span<const std::uint8_t>) override {}
    std::size_t host_read(std::span<std::uint8_t>, std::chrono::steady_clock::time_point deadline) override {
        std::this_thread::sleep_until(deadline);
        return 0;
    }
};
}  // namespace

std::unique_ptr<CableLink> make_cable_firmware() { return std::make_unique<SilentCable>(); }

}  // namespace vexo::sim
