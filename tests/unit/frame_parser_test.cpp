#include "tactrix/frames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>


namespace vexo::tactrix {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Ack = RxFrame::Ack;

Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The frame when the whole input is exactly one frame.
RxFrame whole(const Bytes& input) {
    const auto r = parse_frame(input);
    EXPECT_TRUE(r.has_value()) << (r ? "" : parse_error_text(r.error()));
    if (!r) return {};
    EXPECT_EQ(r->first, input.size());
    return r->second;
}
RxFrame whole(const std::string& input) { return whole(bytes_of(input)); }

ParseError failure(const Bytes& input) {
    const auto r = parse_frame(input);
    EXPECT_FALSE(r.has_value());
    return r ? ParseError{ParseError::NeedMoreData, 0xEE} : r.error();
}
ParseError failure(const std::string& input) { return failure(bytes_of(input)); }

const ParseError kNeedMore{ParseError::NeedMoreData};
const ParseError kBadStart{ParseError::BadStartMarker};
const ParseError kInvalidLen{ParseError::InvalidLen};
const ParseError kInvalidUtf8{ParseError::InvalidUtf8};

TEST(FrameParser, StartMarkerIsJudgedFromTheThirdByteOn) {
    EXPECT_EQ(failure(Bytes{}), kNeedMore);
    EXPECT_EQ(failure("a"), kNeedMore);
    EXPECT_EQ(failure("ar"), kNeedMore);
    EXPECT_EQ(failure("xy"), kNeedMore);
    EXPECT_EQ(failure("xaro3\r\n"), kBadStart);
    EXPECT_EQ(failure("aX3"), kBadStart);
    EXPECT_EQ(failure("arz\r\n"), (ParseError{ParseError::UnknownDiscriminator, 122}));
    EXPECT_EQ(failure("ar7\x05"), (ParseError{ParseError::UnknownDiscriminator, '7'}));
}

TEST(FrameParser, ParseErrorTexts) {
    EXPECT_EQ(parse_error_text(kNeedMore), "NeedMoreData");
    EXPECT_EQ(parse_error_text(kBadStart), "BadStartMarker");
    EXPECT_EQ(parse_error_text(kInvalidLen), "InvalidLen");
    EXPECT_EQ(parse_error_text(kInvalidUtf8), "InvalidUtf8");
    EXPECT_EQ(parse_error_text({ParseError::UnknownDiscriminator, 122}), "UnknownDiscriminator(122)");
    EXPECT_EQ(parse_error_text({ParseError::UnknownDiscriminator, 0}), "UnknownDiscriminator(0)");
}

TEST(FrameParser, AckChannelIsAnOptionalDecimalByte) {
    EXPECT_EQ(failure("ar"), kNeedMore);  // first read of a split "aro\r\n"
    EXPECT_EQ(whole("aro\r\n"), RxFrame{Ack{}});
    EXPECT_EQ(whole("aro3\r\n"), RxFrame{Ack{3}});
    EXPECT_EQ(whole("aro+7\r\n"), RxFrame{Ack{7}});
    EXPECT_EQ(whole("aro255\r\n"), RxFrame{Ack{255}});
    EXPECT_EQ(whole("aro007\r\n"), RxFrame{Ack{7}});
    EXPECT_EQ(whole("aro256\r\n"), RxFrame{Ack{}});
    EXPECT_EQ(whole("aro99999999999999999999\r\n"), RxFrame{Ack{}});
    EXPECT_EQ(whole("aro 3\r\n"), RxFrame{Ack{}});
    EXPECT_EQ(whole("aro3 \r\n"), RxFrame{Ack{}});  // no whitespace trimming on 'o'
    EXPECT_EQ(whole("aro3\t\n"), RxFrame{Ack{}});
    EXPECT_EQ(whole("aro+\r\n"), RxFrame{Ack{}});
    EXPECT_EQ(whole("aro-1\r\n"), RxFrame{Ack{}});
    EXPECT_EQ(whole("aro3\n"), RxFrame{Ack{3}});
    EXPECT_EQ(whole("aro3\r\r\r\n"), RxFrame{Ack{3}});
}

TEST(FrameParser, TextLineEndsAtTheFirstLf) {
    EXPECT_EQ(failure("aro3\r"), kNeedMore);
    const auto r = parse_frame(bytes_of("aro3\r\naro4\r\n"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->first, 6u);
    EXPECT_EQ(r->second, RxFrame{Ack{3}});
}

TEST(FrameParser, IdentifyAndErrorTextsAreTrimmed) {
    EXPECT_EQ(whole("ariOpenPort 2.0 J2534 1.01\r\n"), RxFrame{RxFrame::Identify{"OpenPort 2.0 J2534 1.01"}});
    EXPECT_EQ(whole("ari  main code  \r\r\n"), RxFrame{RxFrame::Identify{"main code"}});
    EXPECT_EQ(whole("are\t bad channel\xC2\xA0\xE3\x80\x80\r\n"), RxFrame{RxFrame::Error{"bad channel"}});
    EXPECT_EQ(whole("are\r\n"), RxFrame{RxFrame::Error{""}});
    EXPECT_EQ(whole("ari caf\xC3\xA9\n"), RxFrame{RxFrame::Identify{"caf\xC3\xA9"}});
    EXPECT_EQ(whole("ari a\"b\\c\x01\n"), RxFrame{RxFrame::Identify{"a\"b\\c\x01"}});
}

TEST(FrameParser, TextLinesMustBeValidUtf8) {
    EXPECT_EQ(failure("ari\xFF\r\n"), kInvalidUtf8);
    EXPECT_EQ(failure("ari\xC0\xAF\r\n"), kInvalidUtf8);          // overlong '/'
    EXPECT_EQ(failure("ari\xED\xA0\x80\r\n"), kInvalidUtf8);      // surrogate
    EXPECT_EQ(failure("ari\xF4\x90\x80\x80\r\n"), kInvalidUtf8);  // above U+10FFFF
    EXPECT_EQ(failure("ari\xE2\x82\r\n"), kInvalidUtf8);          // truncated sequence
    EXPECT_EQ(failure("aro\xFF\n"), kInvalidUtf8);
    // Not judged before the line is complete.
    EXPECT_EQ(failure("ari\xFF"), kNeedMore);
}

TEST(FrameParser, FilterIdIsTheTrimmedDecimalOrZero) {
    EXPECT_EQ(whole("arf12\r\n"), RxFrame{RxFrame::FilterAck{12}});
    EXPECT_EQ(whole("arf 12 \r\n"), RxFrame{RxFrame::FilterAck{12}});
    EXPECT_EQ(whole("arf+4294967295\r\n"), RxFrame{RxFrame::FilterAck{4294967295u}});
    EXPECT_EQ(whole("arf4294967296\r\n"), RxFrame{RxFrame::FilterAck{0}});
    EXPECT_EQ(whole("arfx\r\n"), RxFrame{RxFrame::FilterAck{0}});
    EXPECT_EQ(whole("arf1 2\r\n"), RxFrame{RxFrame::FilterAck{0}});
    EXPECT_EQ(whole("arf\r\n"), RxFrame{RxFrame::FilterAck{0}});
}

TEST(FrameParser, FastInitAndAnalogReadingSplitAtAsciiWhitespace) {
    EXPECT_EQ(whole("ary4 3\r\n"), RxFrame{(RxFrame::FastInitAck{4, 3})});
    EXPECT_EQ(whole("ary  4\t\t3 extra\r\n"), RxFrame{(RxFrame::FastInitAck{4, 3})});
    EXPECT_EQ(whole("ary4\r\n"), RxFrame{(RxFrame::FastInitAck{4, 0})});
    EXPECT_EQ(whole("ary\r\n"), RxFrame{(RxFrame::FastInitAck{0, 0})});
    EXPECT_EQ(whole("ary300 5\r\n"), RxFrame{(RxFrame::FastInitAck{0, 5})});  // channel is 8-bit
    EXPECT_EQ(whole("ary+4 +70000\r\n"), RxFrame{(RxFrame::FastInitAck{4, 70000})});

    EXPECT_EQ(whole("arr16 12450\r\n"), RxFrame{(RxFrame::AnalogReading{16, 12450})});
    EXPECT_EQ(whole("arr16\f12450\r\n"), RxFrame{(RxFrame::AnalogReading{16, 12450})});
    EXPECT_EQ(whole("arr16 x\r\n"), RxFrame{(RxFrame::AnalogReading{16, 0})});
    // Vertical tab is no ASCII separator, and U+00A0 is white space only at the ends.
    EXPECT_EQ(whole("arr16\v12450\r\n"), RxFrame{(RxFrame::AnalogReading{0, 0})});
    EXPECT_EQ(whole("arr16\xC2\xA0 12450\r\n"), RxFrame{(RxFrame::AnalogReading{0, 12450})});
}

TEST(FrameParser, DataFrameLengthRules) {
    EXPECT_EQ(failure("ar6"), kNeedMore);
    EXPECT_EQ(failure(Bytes{'a', 'r', '3', 0x00}), kInvalidLen);  // at once
    EXPECT_EQ(failure(Bytes{'a', 'r', '6', 0x00}), kInvalidLen);

    // Too short for a timestamp, but only judged once the frame is complete.
    const Bytes ar5_short = {'a', 'r', '5', 0x03, 0x00, 0x01, 0x02};
    for (std::size_t n = 3; n < ar5_short.size(); ++n) {
        EXPECT_EQ(failure(Bytes(ar5_short.begin(), ar5_short.begin() + static_cast<std::ptrdiff_t>(n))), kNeedMore)
            << n;
    }
    EXPECT_EQ(failure(ar5_short), kInvalidLen);

    EXPECT_EQ(failure(Bytes{'a', 'r', '6', 0x04, 0x00, 0x00, 0x00, 0x00}), kInvalidLen);
    EXPECT_EQ(whole(Bytes{'a', 'r', '3', 0x04, 0x00, 0x01, 0x02, 0x03}),
              RxFrame{(RxFrame::Data{{0x01, 0x02, 0x03}, 0, DataKind::Normal, '3'})});
    EXPECT_EQ(whole(Bytes{'a', 'r', '4', 0x01, 0x10}), RxFrame{(RxFrame::Data{{}, 0, DataKind::TxDone, '4'})});
    EXPECT_EQ(whole(Bytes{'a', 'r', '5', 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}),
              RxFrame{(RxFrame::Data{{}, 0xFFFFFFFF, DataKind::Normal, '5'})});
}

TEST(FrameParser, TimestampedDataFrame) {
    const Bytes frame = {'a', 'r', '6', 9, 0x80, 0x00, 0x00, 0x03, 0xE8, 0x01, 0x02, 0x03, 0x04};
    const auto r = parse_frame(concat(frame, bytes_of("aro\r\n")));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->first, 13u);
    const auto* data = r->second.as<RxFrame::Data>();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->kind, DataKind::NormalStart);
    EXPECT_EQ(data->ts_us, 1000u);
    EXPECT_EQ(data->payload, (Bytes{0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(data->proto, 0x36);

    EXPECT_EQ(failure(Bytes(frame.begin(), frame.end() - 1)), kNeedMore);
}

TEST(FrameParser, StatusByteKeepsItsClassInTheFrame) {
    const auto kind_of = [](std::uint8_t status) {
        const RxFrame f = whole(Bytes{'a', 'r', '3', 0x02, status, 0x55});
        return f.as<RxFrame::Data>() ? f.as<RxFrame::Data>()->kind : DataKind::other(0);
    };
    EXPECT_EQ(kind_of(0x0A), DataKind::Normal);
    EXPECT_EQ(kind_of(0x12), DataKind::TxDone);
    EXPECT_EQ(kind_of(0x41), DataKind::other(65));
}

TEST(FrameText, SimpleFrames) {
    EXPECT_EQ(frame_text(RxFrame{Ack{3}}), "Ack(channel=Some(3))");
    EXPECT_EQ(frame_text(RxFrame{Ack{}}), "Ack(channel=None)");
    EXPECT_EQ(frame_text(RxFrame{RxFrame::FilterAck{12}}), "FilterAck(id=12)");
    EXPECT_EQ(frame_text(RxFrame{RxFrame::FastInitAck{4, 3}}), "FastInitAck(channel=4 len=3)");
    EXPECT_EQ(frame_text(RxFrame{RxFrame::AnalogReading{16, 12450}}), "AnalogReading(pin=16 mV=12450)");
    EXPECT_EQ(frame_text(RxFrame{RxFrame::Identify{"OpenPort 2.0"}}), "Identify(\"OpenPort 2.0\")");
    EXPECT_EQ(frame_text(RxFrame{RxFrame::Error{""}}), "Error(\"\")");
}

TEST(FrameText, QuotedTextEscapes) {
    EXPECT_EQ(quoted_text("a\"b\\c"), R"("a\"b\\c")");
    EXPECT_EQ(quoted_text(std::string("\r\n\t\0", 4)), R"("\r\n\t\0")");
    EXPECT_EQ(quoted_text("\x01\x1B\x7F"), R"("\u{1}\u{1b}\u{7f}")");
    EXPECT_EQ(quoted_text("\xC2\x85 \xC2\xA0 \xE2\x80\xA8 \xEF\xBB\xBF"), R"("\u{85} \u{a0} \u{2028} \u{feff}")");
    EXPECT_EQ(quoted_text("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9A\x97 '"),
              "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9A\x97 '\"");
    EXPECT_EQ(quoted_text("a\xFF"), "\"a\xEF\xBF\xBD\"");
}

TEST(FrameText, DataFrames) {
    EXPECT_EQ(frame_text(RxFrame{RxFrame::Data{{0x07, 0xE8, 0x03, 0x41, 0x0D, 0x00}, 1000, DataKind::Normal, '6'}}),
              "Data(proto=0x36 kind=Normal ts_us=1000 len=6 payload=[07 E8 03 41 0D 00])");
    EXPECT_EQ(frame_text(RxFrame{RxFrame::Data{{}, 0, DataKind::other(65), '3'}}),
              "Data(proto=0x33 kind=Other(65) ts_us=0 len=0 payload=[])");

    const char* names[] = {"Normal",        "TxDone",      "TxLoopback",  "RxEnd",
                           "RxEndExtended", "LoopbackEnd", "NormalStart", "TxLoopbackStart"};
    for (int tag = DataKind::Normal; tag <= DataKind::TxLoopbackStart; ++tag) {
        EXPECT_EQ(data_kind_text(static_cast<DataKind::Tag>(tag)), names[tag]);
    }
}

TEST(FrameText, PayloadShowsAtMost24Bytes) {
    Bytes payload(24);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i);
    const std::string shown24 = "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17";

    EXPECT_EQ(frame_text(RxFrame{RxFrame::Data{payload, 5, DataKind::RxEnd, '5'}}),
              "Data(proto=0x35 kind=RxEnd ts_us=5 len=24 payload=[" + shown24 + "])");
    payload.push_back(0xFF);
    EXPECT_EQ(frame_text(RxFrame{RxFrame::Data{payload, 5, DataKind::RxEnd, '5'}}),
              "Data(proto=0x35 kind=RxEnd ts_us=5 len=25 payload=[" + shown24 + " \xE2\x80\xA6])");
}

TEST(FrameParser, TextLinesEndWithinTheCapAndTheSearchResumesWhereItStopped) {
    EXPECT_EQ(failure("ari" + std::string(kMaxTextLine - 4, 'x')), kNeedMore);
    EXPECT_EQ(failure("ari" + std::string(kMaxTextLine - 3, 'x')), ParseError{ParseError::LineTooLong});
    EXPECT_EQ(failure("ari" + std::string(kMaxTextLine - 3, 'x') + "\n"), ParseError{ParseError::LineTooLong});
    EXPECT_EQ(parse_error_text(ParseError{ParseError::LineTooLong}), "LineTooLong");

    // A reader that searched 9 bytes already is not told about an LF it claims is not there;
    // the line still ends at the first LF from there on.
    const Bytes two_lines = bytes_of("are a\nb\nc\r\n");
    const auto resumed = parse_frame(two_lines, 9);
    ASSERT_TRUE(resumed);
    EXPECT_EQ(resumed->first, two_lines.size());
    const auto fresh = parse_frame(two_lines);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->first, 6u);
}

}  // namespace
}  // namespace vexo::tactrix
