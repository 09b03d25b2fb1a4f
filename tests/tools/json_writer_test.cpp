#include "json_writer.h"

#include <gtest/gtest.h>

namespace vexo::tools {
namespace {

TEST(JsonQuote, EscapesQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(json_quote("plain"), "\"plain\"");
    EXPECT_EQ(json_quote("say \"hi\""), "\"say \\\"hi\\\"\"");
    EXPECT_EQ(json_quote("C:\\temp"), "\"C:\\\\temp\"");
    EXPECT_EQ(json_quote("a\nb\rc\td\be\ff"), "\"a\\nb\\rc\\td\\be\\ff\"");
    EXPECT_EQ(json_quote(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
    EXPECT_EQ(json_quote(std::string("a\0b", 3)), "\"a\\u0000b\"");
    EXPECT_EQ(json_quote(""), "\"\"");
}

TEST(JsonQuote, KeepsUtf8AndReplacesInvalidBytes) {
    EXPECT_EQ(json_quote("83 \u00B0C"), "\"83 \u00B0C\"");
    EXPECT_EQ(json_quote("\xE2\x82\xAC \xF0\x9F\x9A\x97"), "\"\xE2\x82\xAC \xF0\x9F\x9A\x97\"");
    EXPECT_EQ(json_quote("\xFF"), "\"\\ufffd\"");
    EXPECT_EQ(json_quote("a\xC3"), "\"a\\ufffd\"");                                 // cut short
    EXPECT_EQ(json_quote("\xC0\xAF"), "\"\\ufffd\\ufffd\"");                        // overlong
    EXPECT_EQ(json_quote("\xED\xA0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");             // surrogate
    EXPECT_EQ(json_quote("\xF4\x90\x80\x80"), "\"\\ufffd\\ufffd\\ufffd\\ufffd\"");  // above U+10FFFF
}

TEST(JsonWriter, CommasBetweenMembersAndElements) {
    JsonWriter json;
    json.begin_object();
    json.key("command").string("obd");
    json.key("ok").boolean(true);
    json.key("pids").begin_array().string("0C").string("0D").end_array();
    json.key("readings").begin_array();
    json.begin_object().key("value").number_text("14.12").key("unit").string("V").end_object();
    json.begin_object().key("value").null().end_object();
    json.end_array();
    json.key("empty").begin_object().end_object();
    json.key("none").begin_array().end_array();
    json.key("n").number(-40);
    json.key("u").unsigned_number(4294967295u);
    json.end_object();
    EXPECT_EQ(json.text(),
              "{\"command\":\"obd\",\"ok\":true,\"pids\":[\"0C\",\"0D\"],\"readings\":[{\"value\":14.12,"
              "\"unit\":\"V\"},{\"value\":null}],\"empty\":{},\"none\":[],\"n\":-40,\"u\":4294967295}");
}

TEST(JsonWriter, KeysAreEscapedToo) {
    JsonWriter json;
    json.begin_object().key("a\"b").boolean(false).end_object();
    EXPECT_EQ(json.text(), "{\"a\\\"b\":false}");
}

}  // namespace
}  // namespace vexo::tools
