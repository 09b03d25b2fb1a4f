#include "sim/vehicle_obd_services.h"

#include <algorithm>

#include "sim/vehicle_negative_response.h"

namespace vexo::sim {

namespace {

constexpr std::uint8_t positive(std::uint8_t service) { return static_cast<std::uint8_t>(service + 0x40); }

constexpr std::uint8_t byte_of(std::uint32_t value) { return static_cast<std::uint8_t>(value); }

Bytes two_bytes(std::uint32_t value) { return {byte_of(value >> 8), byte_of(value)}; }

// Percentages travel as a fraction of 255, temperatures offset by 40.
std::uint8_t percent(std::uint32_t pct) { return byte_of(pct * 255 / 100); }
std::uint8_t celsius(std::int32_t c) { return byte_of(static_cast<std::uint32_t>(std::clamp(c + 40, 0, 255))); }

bool contains(std::span<const std::uint8_t> pids, std::uint8_t pid) {
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

Bytes pid_bitmap(std::uint8_t base, std::span<const std::uint8_t> pids) {
    const auto bitmap = supported_pid_bitmap(base, pids);
    return Bytes(bitmap.begin(), bitmap.end());
}

// PID 01 and 1C describe the ECU, not the moment the frame was taken.
std::vector<std::uint8_t> freeze_frame_pids(const ObdProfile& profile, bool stored) {
    std::vector<std::uint8_t> pids{0x00, 0x02};
    if (!stored) return pids;
    for (const std::uint8_t pid : profile.pids)
        if (pid != 0x00 && pid != 0x01 && pid != 0x1C) pids.push_back(pid);
    return pids;
}

std::optional<Bytes> freeze_frame_value(std::uint8_t pid, const ObdProfile& profile,
                                        const std::optional<FreezeFrame>& frame) {
    const auto pids = freeze_frame_pids(profile, frame.has_value());
    if (!contains(pids, pid)) return std::nullopt;
    if (pid % 0x20 == 0) return pid_bitmap(pid, pids);
    if (pid == 0x02) return two_bytes(frame ? frame->dtc : 0);
    return current_data_value(pid, profile, frame->readings, 0);
}

}  // namespace

std::array<std::uint8_t, 4> supported_pid_bitmap(std::uint8_t base, std::span<const std::uint8_t> pids) {
    std::array<std::uint8_t, 4> bitmap{};
    for (const std::uint8_t pid : pids) {
        if (pid <= base || pid > base + 32) continue;
        const unsigned bit = pid - base - 1u;
        bitmap[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
    }
    return bitmap;
}

std::optional<Bytes> current_data_value(std::uint8_t pid, const ObdProfile& profile, const EngineReadings& r,
                                        std::size_t stored_dtcs) {
    if (!contains(profile.pids, pid)) return std::nullopt;
    if (pid % 0x20 == 0) return pid_bitmap(pid, profile.pids);
    switch (pid) {
        case 0x01: {
            // Stored codes light the lamp.
            const auto count = static_cast<std::uint8_t>(std::min<std::size_t>(stored_dtcs, 0x7F));
            Bytes status{static_cast<std::uint8_t>(count | (count > 0 ? 0x80 : 0x00))};
            append(status, profile.readiness);
            return status;
        }
        case 0x05: return Bytes{celsius(r.coolant_c)};
        case 0x0C: return two_bytes(r.rpm * 4);
        case 0x0D: return Bytes{byte_of(r.speed_kmh)};
        case 0x0F: return Bytes{celsius(r.intake_air_c)};
        case 0x11: return Bytes{percent(r.throttle_pct)};
        case 0x1C: return Bytes{0x03};  // OBD and OBD-II
        case 0x2F: return Bytes{percent(r.fuel_pct)};
        case 0x42: return two_bytes(r.module_mv);
        default: return std::nullopt;
    }
}

Bytes obd_current_data(std::span<const std::uint8_t> request, const ObdProfile& profile, const EngineReadings& readings,
                       std::size_t stored_dtcs) {
    constexpr std::uint8_t service = 0x01;
    if (request.size() < 2 || request.size() > 7) return negative_response(service, nrc::incorrect_length);
    Bytes answer{positive(service)};
    for (const std::uint8_t pid : request.subspan(1)) {
        const auto value = current_data_value(pid, profile, readings, stored_dtcs);
        if (!value) continue;
        answer.push_back(pid);
        append(answer, *value);
    }
    if (answer.size() == 1) return negative_response(service, nrc::request_out_of_range);
    return answer;
}

Bytes obd_freeze_frame(std::span<const std::uint8_t> request, const ObdProfile& profile,
                       const std::optional<FreezeFrame>& frame) {
    constexpr std::uint8_t service = 0x02;
    constexpr std::uint8_t only_frame = 0x00;
    if (request.size() < 3 || request.size() > 7 || request.size() % 2 == 0)
        return negative_response(service, nrc::incorrect_length);
    Bytes answer{positive(service)};
    for (std::size_t at = 1; at < request.size(); at += 2) {
        const std::uint8_t pid = request[at];
        if (request[at + 1] != only_frame) continue;
        const auto value = freeze_frame_value(pid, profile, frame);
        if (!value) continue;
        append(answer, Bytes{pid, only_frame});
        append(answer, *value);
    }
    if (answer.size() == 1) return negative_response(service, nrc::request_out_of_range);
    return answer;
}

Bytes obd_stored_dtcs(std::span<const std::uint8_t> request, std::span<const std::uint16_t> dtcs) {
    return obd_dtc_list(request, dtcs);
}

Bytes obd_dtc_list(std::span<const std::uint8_t> request, std::span<const std::uint16_t> dtcs) {
    const std::uint8_t service = request.empty() ? std::uint8_t{0x03} : request[0];
    if (request.size() != 1) return negative_response(service, nrc::incorrect_length);
    Bytes answer{positive(service), byte_of(static_cast<std::uint32_t>(dtcs.size()))};
    for (const std::uint16_t dtc : dtcs) append(answer, two_bytes(dtc));
    return answer;
}

Bytes obd_vehicle_info(std::span<const std::uint8_t> request, std::string_view vin) {
    constexpr std::uint8_t service = 0x09;
    if (request.size() != 2) return negative_response(service, nrc::incorrect_length);
    const std::uint8_t pid = request[1];
    if (pid == 0x00) {
        const auto bitmap = supported_pid_bitmap(0x00, vehicle_info_pids);
        Bytes answer{positive(service), pid};
        append(answer, bitmap);
        return answer;
    }
    if (pid == 0x02) {
        Bytes answer{positive(service), pid, 0x01};
        answer.insert(answer.end(), vin.begin(), vin.end());
        return answer;
    }
    return negative_response(service, nrc::request_out_of_range);
}

std::vector<Bytes> obd_stored_dtcs_short(std::span<const std::uint8_t> request, std::span<const std::uint16_t> dtcs) {
    constexpr std::uint8_t service = 0x03;
    constexpr std::size_t per_message = 3;
    if (request.size() != 1) return {negative_response(service, nrc::incorrect_length)};
    std::vector<Bytes> messages;
    std::size_t at = 0;
    do {
        Bytes message{positive(service)};
        for (std::size_t i = 0; i < per_message; ++i, ++at) append(message, two_bytes(at < dtcs.size() ? dtcs[at] : 0));
        messages.push_back(std::move(message));
    } while (at < dtcs.size());
    return messages;
}

std::vector<Bytes> obd_vehicle_info_short(std::span<const std::uint8_t> request, std::string_view vin) {
    constexpr std::uint8_t service = 0x09;
    if (request.size() != 2 || request[1] != 0x02) return {obd_vehicle_info(request, vin)};
    Bytes padded(20 - std::min<std::size_t>(vin.size(), 20), 0x00);
    padded.insert(padded.end(), vin.begin(),
                  vin.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(vin.size(), 20)));
    std::vector<Bytes> messages;
    for (std::uint8_t number = 1; number <= 5; ++number) {
        Bytes message{positive(service), 0x02, number};
        const auto first = padded.begin() + 4 * (number - 1);
        message.insert(message.end(), first, first + 4);
        messages.push_back(std::move(message));
    }
    return messages;
}

}  // namespace vexo::sim
