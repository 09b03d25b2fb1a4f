#include "json_report.h"

#include <gtest/gtest.h>

namespace vexo::tools {
namespace {

// Text from a device reaches a line unharmed whatever its bytes; nlohmann's forms are the expected ones.
TEST(JsonReport, DeviceTextAndNumbersAsPrinted) {
    const struct {
        std::string text;
        std::string shown;
    } texts[] = {
        {"83 \u00B0C", "83 \u00B0C"},
        {"\"C:\\x\"\n\t\x01", "\\\"C:\\\\x\\\"\\n\\t\\u0001"},
        {"a\x7F", "a\x7F"},                                        // DEL is left as it is
        {"\xFF\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // each invalid byte: U+FFFD, as UTF-8
        {"a\xE2\x82", "a\xEF\xBF\xBD"},                            // a sequence cut short: one U+FFFD
    };
    for (const auto& t : texts) {
        Json json = json_report(Command::Info);
        json["firmware_version"] = t.text;
        EXPECT_EQ(json_line(json),
                  "{\"schema\":1,\"command\":\"info\",\"ok\":true,\"firmware_version\":\"" + t.shown + "\"}\n");
    }
    const std::pair<std::string_view, std::string_view> numbers[] = {
        {"12.60", "12.6"}, {"14.00", "14.0"}, {"1726", "1726"}, {"-40", "-40"}, {"n/a", "null"}};
    for (const auto& [digits, shown] : numbers) EXPECT_EQ(json_decimal(digits).dump(), shown) << digits;
}

}  // namespace
}  // namespace vexo::tools
