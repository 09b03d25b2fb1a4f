#include "tactrix/cable_session.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "tactrix/frames.h"

namespace vexo::tactrix {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes held(const RxBuffer& rx) { return Bytes(rx.bytes().begin(), rx.bytes().end()); }

Bytes counting(std::size_t n, std::uint8_t from = 0) {
    Bytes out(n);
    std::iota(out.begin(), out.end(), from);
    return out;
}

TEST(RxBuffer, AppendsAtTheEndAndRemovesFromTheFront) {
    RxBuffer rx;
    EXPECT_TRUE(rx.empty());
    rx.append(Bytes{1, 2, 3});
    rx.append(Bytes{4, 5});
    EXPECT_EQ(held(rx), (Bytes{1, 2, 3, 4, 5}));

    rx.consume(1);
    EXPECT_EQ(held(rx), (Bytes{2, 3, 4, 5}));
    EXPECT_EQ(rx.take_front(2), (Bytes{2, 3}));
    EXPECT_EQ(rx.size(), 2u);
    rx.append(Bytes{6});
    EXPECT_EQ(held(rx), (Bytes{4, 5, 6}));

    EXPECT_EQ(rx.take_front(10), (Bytes{4, 5, 6}));  // never past the end
    EXPECT_TRUE(rx.empty());
    rx.consume(3);
    EXPECT_TRUE(rx.empty());

    rx.append(Bytes{7, 8});
    rx.clear();
    EXPECT_TRUE(rx.empty());
    EXPECT_EQ(rx.take_front(0), Bytes{});
}

TEST(RxBuffer, CompactionKeepsOrderAndBoundsStorage) {
    RxBuffer rx;
    const Bytes stream = counting(250);
    std::size_t next_expected = 0;
    for (int round = 0; round < 400; ++round) {
        rx.append(stream);
        // Drain all but a partial tail, in uneven steps, checking every byte on the way.
        while (rx.size() > 37) {
            const Bytes taken = rx.take_front(13);
            for (std::uint8_t b : taken) {
                ASSERT_EQ(b, static_cast<std::uint8_t>(next_expected % 250)) << round;
                ++next_expected;
            }
        }
        ASSERT_LE(rx.stored(), 2 * 1024 + stream.size()) << round;
    }
    EXPECT_EQ(rx.bytes().front(), static_cast<std::uint8_t>(next_expected % 250));
}

TEST(RxBuffer, FullyConsumedBufferStartsOver) {
    RxBuffer rx;
    rx.append(counting(100));
    rx.consume(100);
    EXPECT_EQ(rx.stored(), 0u);
}

// What a reader loop sees: each frame's text form or each dropped byte's error, in order.
struct Drained {
    std::vector<RxFrame> frames;
    std::vector<std::string> drops;
};

Drained drain(RxBuffer& rx) {
    Drained out;
    for (;;) {
        auto r = parse_frame(rx.bytes());
        if (r) {
            rx.consume(r->first);
            out.frames.push_back(std::move(r->second));
        } else if (r.error().kind != ParseError::NeedMoreData) {
            out.drops.push_back(parse_error_text(r.error()));
            rx.consume(1);
        } else {
            return out;
        }
    }
}

TEST(RxBuffer, DrainsSeveralFramesThroughTheParser) {
    RxBuffer rx;
    rx.append(Bytes{'a', 'r', 'o', '\r', '\n', 'x', 'a', 'r', '3', 0x02, 0x00, 0x42, 'a', 'r', 'f', '7'});

    Drained d = drain(rx);
    ASSERT_EQ(d.frames.size(), 2u);
    EXPECT_EQ(d.frames[0], RxFrame{RxFrame::Ack{}});
    EXPECT_EQ(d.frames[1], RxFrame{(RxFrame::Data{{0x42}, 0, DataKind::Normal, '3'})});
    EXPECT_EQ(d.drops, std::vector<std::string>{"BadStartMarker"});
    EXPECT_EQ(held(rx), (Bytes{'a', 'r', 'f', '7'}));  // the partial frame waits for more

    rx.append(Bytes{'\r', '\n'});
    d = drain(rx);
    EXPECT_EQ(d.frames, std::vector<RxFrame>{RxFrame{RxFrame::FilterAck{7}}});
    EXPECT_TRUE(rx.empty());
}

TEST(RxBuffer, ResynchronisesOneByteAtATime) {
    RxBuffer rx;
    const std::string unknown = "arzaro3\r\n";
    rx.append(Bytes(unknown.begin(), unknown.end()));
    Drained d = drain(rx);
    EXPECT_EQ(d.drops, (std::vector<std::string>{"UnknownDiscriminator(122)", "BadStartMarker", "BadStartMarker"}));
    EXPECT_EQ(d.frames, std::vector<RxFrame>{RxFrame{RxFrame::Ack{3}}});

    const std::string bad_utf8 = "ari\xFF\r\naro\r\n";
    rx.append(Bytes(bad_utf8.begin(), bad_utf8.end()));
    d = drain(rx);
    EXPECT_EQ(d.drops, (std::vector<std::string>{"InvalidUtf8", "BadStartMarker", "BadStartMarker", "BadStartMarker",
                                                 "BadStartMarker", "BadStartMarker"}));
    EXPECT_EQ(d.frames, std::vector<RxFrame>{RxFrame{RxFrame::Ack{}}});
}

}  // namespace
}  // namespace vexo::tactrix
