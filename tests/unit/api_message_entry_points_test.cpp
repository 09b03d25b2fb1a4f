#include <atomic>
#include <chrono>
#include <thread>

#include "unit/device_double.h"

namespace vexo {
namespace {

using namespace api;
using namespace testing_support;
using ::testing::_;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Return;

std::vector<std::uint8_t> counting_bytes(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

TEST_F(OpenDeviceTest, EmptyReadIsBufferEmptyOnlyWithoutTimeoutAndNeverTouchesLastError) {
    EXPECT_CALL(*device, read_msgs(1u, 10u, 0u)).WillOnce(Return(std::vector<Message>{}));
    EXPECT_CALL(*device, read_msgs(1u, 10u, 50u)).WillOnce(Return(std::vector<Message>{}));
    last_error::store("earlier failure");
    PASSTHRU_MSG msgs[10];
    std::uint32_t n = 10;
    EXPECT_EQ(PassThruReadMsgs(1, msgs, &n, 0), ERR_BUFFER_EMPTY);
    EXPECT_EQ(n, 0u);
    n = 10;
    EXPECT_EQ(PassThruReadMsgs(1, msgs, &n, 50), STATUS_NOERROR);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(last_error_text(), "earlier failure");
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruReadMsgs OK ch=1 n=0 timeout=0 first=[]",
                                        "[j2534] PassThruReadMsgs OK ch=1 n=0 timeout=50 first=[]"));
}

TEST_F(OpenDeviceTest, ReadCopiesEveryFieldClampsDataAndSummarisesSixteenBytes) {
    const Message big{counting_bytes(5000), ISO15765, 0x02, 0x40, 123456, 4};
    const Message small{{0xAA, 0xBB, 0xCC}, CAN, 0, 0, 7, 3};
    EXPECT_CALL(*device, read_msgs(6u, 4u, 100u)).WillOnce(Return(std::vector<Message>{big, small}));
    PASSTHRU_MSG msgs[4];
    std::memset(msgs, 0xEE, sizeof msgs);
    std::uint32_t n = 4;
    ASSERT_EQ(PassThruReadMsgs(6, msgs, &n, 100), STATUS_NOERROR);
    ASSERT_EQ(n, 2u);
    EXPECT_EQ(msgs[0].ProtocolID, ISO15765);
    EXPECT_EQ(msgs[0].RxStatus, 0x02u);
    EXPECT_EQ(msgs[0].TxFlags, 0x40u);
    EXPECT_EQ(msgs[0].Timestamp, 123456u);
    EXPECT_EQ(msgs[0].DataSize, 4128u);
    EXPECT_EQ(msgs[0].ExtraDataIndex, 4u);
    EXPECT_EQ(std::vector<std::uint8_t>(msgs[0].Data, msgs[0].Data + 4128), counting_bytes(4128));
    EXPECT_EQ(msgs[1].DataSize, 3u);
    EXPECT_EQ(msgs[1].ExtraDataIndex, 3u);
    EXPECT_THAT(std::vector<std::uint8_t>(msgs[1].Data, msgs[1].Data + 5), ElementsAre(0xAA, 0xBB, 0xCC, 0xEE, 0xEE));
    EXPECT_EQ(msgs[2].ProtocolID, 0xEEEEEEEEu);
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruReadMsgs OK ch=6 n=2 timeout=100 "
                                        "first=[00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F]"));
}

TEST_F(OpenDeviceTest, ReadNeverWritesPastTheCallersArray) {
    EXPECT_CALL(*device, read_msgs(1u, 1u, 0u))
        .WillOnce(Return(std::vector<Message>{Message{{0x01}}, Message{{0x02}}}));
    PASSTHRU_MSG msgs[2]{};
    std::uint32_t n = 1;
    ASSERT_EQ(PassThruReadMsgs(1, msgs, &n, 0), STATUS_NOERROR);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(msgs[1].DataSize, 0u);
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruReadMsgs OK ch=1 n=1 timeout=0 first=[01]"));
}

TEST_F(OpenDeviceTest, ReadFailureCountsNothingAndLeavesTheArrayAlone) {
    EXPECT_CALL(*device, read_msgs(6u, 10u, 1000u)).WillOnce(Return(fail(PassThruError::timeout())));
    PASSTHRU_MSG msg = passthru_msg({0x01});
    std::uint32_t n = 10;
    EXPECT_EQ(PassThruReadMsgs(6, &msg, &n, 1000), ERR_TIMEOUT);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(msg.DataSize, 1u);
    EXPECT_EQ(last_error_text(), "transport error: operation timed out");
    EXPECT_THAT(log.take(),
                ElementsAre("[j2534] PassThruReadMsgs ERR ch=6 timeout=1000 transport error: operation timed out"));
}

TEST_F(OpenDeviceTest, ReadNeverHandsOutAnExtraDataIndexPastTheData) {
    const Message endless{counting_bytes(4128), ISO15765, 0, 0, 1, 24600008};
    const Message short_one{{0x01, 0x02}, CAN, 0, 0, 2, 3};
    EXPECT_CALL(*device, read_msgs(6u, 2u, 100u)).WillOnce(Return(std::vector<Message>{endless, short_one}));
    PASSTHRU_MSG msgs[2];
    std::uint32_t n = 2;
    ASSERT_EQ(PassThruReadMsgs(6, msgs, &n, 100), STATUS_NOERROR);
    ASSERT_EQ(n, 2u);
    EXPECT_EQ(msgs[0].DataSize, 4128u);
    EXPECT_EQ(msgs[0].ExtraDataIndex, 4128u);
    EXPECT_EQ(msgs[1].DataSize, 2u);
    EXPECT_EQ(msgs[1].ExtraDataIndex, 2u);
}

TEST_F(OpenDeviceTest, WriteConvertsEveryRecordAndClampsDataSize) {
    PASSTHRU_MSG msgs[3] = {passthru_msg(counting_bytes(30), 0x40), passthru_msg({}), passthru_msg({0x09})};
    msgs[0].RxStatus = 1;
    msgs[0].Timestamp = 2;
    msgs[0].ExtraDataIndex = 3;
    msgs[1].DataSize = 5000;
    std::vector<Message> seen;
    EXPECT_CALL(*device, write_msgs(6u, _, 250u)).WillOnce([&](auto, std::span<const Message> sent, auto) {
        seen.assign(sent.begin(), sent.end());
        return WriteResult(2u);
    });
    std::uint32_t n = 3;
    ASSERT_EQ(PassThruWriteMsgs(6, msgs, &n, 250), STATUS_NOERROR);
    EXPECT_EQ(n, 2u);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], (Message{counting_bytes(30), ISO15765, 1, 0x40, 2, 3}));
    EXPECT_EQ(seen[1].data.size(), 4128u);
    EXPECT_EQ(seen[2].data, std::vector<std::uint8_t>{0x09});
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruWriteMsgs OK ch=6 sent=2 first=[tx_flags=0x40 data=[00 01 02 "
                                        "03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17]]"));
}

TEST_F(OpenDeviceTest, WriteOfNothingAndWriteFailures) {
    EXPECT_CALL(*device, write_msgs(1u, _, 0u))
        .WillOnce([](auto, std::span<const Message> sent, auto) { return WriteResult(sent.size()); })
        .WillOnce(Return(fail_unwritten(PassThruError::buffer_full())))
        .WillOnce(Return(std::unexpected(WriteFailure(PassThruError::timeout(), 1))));
    PASSTHRU_MSG msgs[2] = {passthru_msg({0x07, 0xE8, 0x03}, 0x40), passthru_msg({0x07, 0xE8, 0x04})};
    std::uint32_t n = 0;
    EXPECT_EQ(PassThruWriteMsgs(1, msgs, &n, 0), STATUS_NOERROR);
    EXPECT_EQ(n, 0u);
    n = 1;
    EXPECT_EQ(PassThruWriteMsgs(1, msgs, &n, 0), ERR_BUFFER_FULL);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(last_error_text(), "transmit buffer full");
    // The first of two went out before the time-out: the count says so.
    n = 2;
    EXPECT_EQ(PassThruWriteMsgs(1, msgs, &n, 0), ERR_TIMEOUT);
    EXPECT_EQ(n, 1u);
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruWriteMsgs OK ch=1 sent=0 first=[]",
                                        "[j2534] PassThruWriteMsgs ERR ch=1 n=1 first=[tx_flags=0x40 data=[07 E8 03]] "
                                        "transmit buffer full",
                                        "[j2534] PassThruWriteMsgs ERR ch=1 n=2 first=[tx_flags=0x40 data=[07 E8 03]] "
                                        "transport error: operation timed out"));
}

TEST_F(OpenDeviceTest, PeriodicMessagesAreLogged) {
    PASSTHRU_MSG msg = passthru_msg({0x3E, 0x80}, 0x40);
    EXPECT_CALL(*device, start_periodic_msg(6u, Message({0x3E, 0x80}, ISO15765, 0, 0x40), 2000u))
        .WillOnce(Return(11u))
        .WillOnce(Return(fail(PassThruError::exceeded_limit())));
    std::uint32_t id = 0;
    EXPECT_EQ(PassThruStartPeriodicMsg(6, &msg, &id, 2000), STATUS_NOERROR);
    EXPECT_EQ(id, 11u);
    EXPECT_EQ(PassThruStartPeriodicMsg(6, &msg, &id, 2000), ERR_EXCEEDED_LIMIT);
    EXPECT_EQ(id, 11u);
    // The interface's default operation refuses.
    EXPECT_EQ(PassThruStopPeriodicMsg(6, 11), ERR_NOT_SUPPORTED);
    EXPECT_EQ(last_error_text(), "operation not supported");
    const std::string args = "ch=6 interval=2000 msg=[tx_flags=0x40 data=[3E 80]]";
    EXPECT_THAT(log.take(),
                ElementsAre("[j2534] PassThruStartPeriodicMsg OK " + args + " id=11",
                            "[j2534] PassThruStartPeriodicMsg ERR " + args + " exceeded maximum resource count",
                            "[j2534] PassThruStopPeriodicMsg ERR ch=6 id=11 operation not supported"));
}

TEST_F(OpenDeviceTest, ConcurrentReadAndWriteAreServedOneAfterTheOther) {
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    auto occupy = [&] {
        if (inside.fetch_add(1) != 0) overlapped = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        inside.fetch_sub(1);
    };
    EXPECT_CALL(*device, read_msgs).WillOnce([&](auto, auto, auto) {
        occupy();
        return Result<std::vector<Message>>(std::vector<Message>{Message{{0x01}}});
    });
    EXPECT_CALL(*device, write_msgs).WillOnce([&](auto, auto, auto) {
        occupy();
        return WriteResult(1u);
    });
    std::uint32_t read_status = 0, write_status = 0;
    std::thread reader([&] {
        PASSTHRU_MSG msg;
        std::uint32_t n = 1;
        read_status = PassThruReadMsgs(1, &msg, &n, 100);
    });
    std::thread writer([&] {
        PASSTHRU_MSG msg = passthru_msg({0x02});
        std::uint32_t n = 1;
        write_status = PassThruWriteMsgs(1, &msg, &n, 100);
    });
    reader.join();
    writer.join();
    EXPECT_EQ(read_status, STATUS_NOERROR);
    EXPECT_EQ(write_status, STATUS_NOERROR);
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(log.take().size(), 2u);
}

}  // namespace
}  // namespace vexo
