#include "uds_requests.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "hex_text.h"

namespace vexo::tools {
namespace {

using Words = std::vector<std::string_view>;
using Requests = std::vector<Request>;

TEST(UdsRequests, WordsSplitAtDoubleDash) {
    const Words words = {"10", "03", "--", "27", "01", "--", "22F190"};
    EXPECT_EQ(requests_from_words(words), (Requests{{0x10, 0x03}, {0x27, 0x01}, {0x22, 0xF1, 0x90}}));
    EXPECT_EQ(requests_from_words(Words{"10", "0X"}).error(), "uds needs hexadecimal bytes, not '0X'");
    EXPECT_EQ(requests_from_words(Words{}).error(), "uds needs the request as hexadecimal bytes, e.g. 'uds 22 F1 90'");
    EXPECT_EQ(requests_from_words(Words{"--", "10"}).error(), "uds: an empty request before '--'");
    EXPECT_EQ(requests_from_words(Words{"10", "--"}).error(), "uds: an empty request after '--'");
}

TEST(UdsRequests, ScriptLinesCommentsAndBlanks) {
    EXPECT_EQ(requests_from_script("# unlock\n10 03\n\n  27 01   # seed\r\n\t\n22F190"),
              (Requests{{0x10, 0x03}, {0x27, 0x01}, {0x22, 0xF1, 0x90}}));
    EXPECT_EQ(requests_from_script("# nothing\n"), Requests{});
    EXPECT_EQ(requests_from_script("10 03\n27 0\n").error(), "line 2: not hexadecimal bytes: '27 0'");
    const auto comment = request_from_line("   # only a comment");
    ASSERT_TRUE(comment);
    EXPECT_FALSE(comment->has_value());
}

TEST(UdsRequests, PrintableTextOnlyForAReadableRun) {
    const std::vector<std::uint8_t> vin = {0x62, 0xF1, 0x90, 'W', 'V', 'W', 'Z'};
    EXPECT_EQ(printable_text(vin), "b..WVWZ");
    EXPECT_EQ(printable_text(std::vector<std::uint8_t>{0x50, 0x03, 0x00, 0x32, 0x01, 0xF4}), "");
    EXPECT_EQ(printable_text(std::vector<std::uint8_t>{'A', 'B', 'C', 0x00}), "");
}

// Bit 7 of a sub-function suppresses the positive answer; 22 F1 90's F1 is a data identifier's byte.
TEST(UdsRequests, SuppressPositiveResponseOnlyInASubFunction) {
    const std::pair<std::string_view, bool> cases[] = {{"3E 80", true},     {"10 83", true},  {"31 81 FF 00", true},
                                                       {"22 F1 90", false}, {"19 82", false}, {"3E 00", false},
                                                       {"3E", false}};
    for (const auto& [request, suppressed] : cases) {
        EXPECT_EQ(suppresses_positive_response(*parse_hex_bytes(request)), suppressed) << request;
    }
}

}  // namespace
}  // namespace vexo::tools
