#include "unit/device_double.h"

namespace vexo {
namespace {

using namespace api;
using namespace testing_support;
using ::testing::_;
using ::testing::ElementsAre;
using ::testing::Pointee;
using ::testing::Return;
using ::testing::VariantWith;

TEST_F(NoDeviceTest, GetConfigAnswersFromTheDefaultsWithoutADevice) {
    SCONFIG config[] = {{DATA_RATE, 1}, {P1_MAX, 1}, {P3_MIN, 1}, {TWUP, 1}, {ISO15765_BS, 1}, {0, 1}};
    SCONFIG_LIST list{6, config};
    EXPECT_EQ(PassThruIoctl(1, GET_CONFIG, &list, nullptr), STATUS_NOERROR);
    EXPECT_EQ(config[0].Value, 10400u);
    EXPECT_EQ(config[1].Value, 40u);
    EXPECT_EQ(config[2].Value, 110u);
    EXPECT_EQ(config[3].Value, 50u);
    EXPECT_EQ(config[4].Value, 0u);
    EXPECT_EQ(config[5].Value, 0u);

    SCONFIG_LIST no_array{2, nullptr};
    EXPECT_EQ(PassThruIoctl(1, GET_CONFIG, &no_array, nullptr), STATUS_NOERROR);
    EXPECT_EQ(PassThruIoctl(1, GET_CONFIG, nullptr, nullptr), ERR_NULL_PARAMETER);
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruIoctl ch=1 id=0x01", "[j2534] PassThruIoctl ch=1 id=0x01",
                                        "[j2534] PassThruIoctl ch=1 id=0x01"));
}

TEST_F(NoDeviceTest, ClearRequestsSucceedAndOtherIdsAreRejectedWithOnlyTheEntryLine) {
    last_error::store("earlier failure");
    for (std::uint32_t id : {7u, 8u, 9u, 10u, 11u}) EXPECT_EQ(PassThruIoctl(2, id, nullptr, nullptr), STATUS_NOERROR);
    for (std::uint32_t id : {0u, 6u, 12u, 14u, 0x1234u}) {
        EXPECT_EQ(PassThruIoctl(2, id, nullptr, nullptr), ERR_INVALID_IOCTL_ID);
    }
    EXPECT_EQ(last_error_text(), "earlier failure");
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruIoctl ch=2 id=0x07", "[j2534] PassThruIoctl ch=2 id=0x08",
                                        "[j2534] PassThruIoctl ch=2 id=0x09", "[j2534] PassThruIoctl ch=2 id=0x0A",
                                        "[j2534] PassThruIoctl ch=2 id=0x0B", "[j2534] PassThruIoctl ch=2 id=0x00",
                                        "[j2534] PassThruIoctl ch=2 id=0x06", "[j2534] PassThruIoctl ch=2 id=0x0C",
                                        "[j2534] PassThruIoctl ch=2 id=0x0E", "[j2534] PassThruIoctl ch=2 id=0x1234"));
}

TEST_F(OpenDeviceTest, SetConfigForwardsThePairsAndGetConfigIgnoresThem) {
    SCONFIG config[] = {{DATA_RATE, 500000}, {LOOPBACK, 0}};
    SCONFIG_LIST list{2, config};
    EXPECT_CALL(*device,
                ioctl(3u, SET_CONFIG, Pointee(VariantWith<ConfigList>(ConfigList{{DATA_RATE, 500000}, {LOOPBACK, 0}}))))
        .WillOnce(Return(IoctlOutput(IoctlNothing{})));
    EXPECT_EQ(PassThruIoctl(3, SET_CONFIG, &list, nullptr), STATUS_NOERROR);
    EXPECT_EQ(config[0].Value, 500000u);

    SCONFIG query{DATA_RATE, 0};
    SCONFIG_LIST query_list{1, &query};
    EXPECT_EQ(PassThruIoctl(3, GET_CONFIG, &query_list, nullptr), STATUS_NOERROR);
    EXPECT_EQ(query.Value, 10400u);
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruIoctl ch=3 id=0x02",
                                        "[j2534] PassThruIoctl SET_CONFIG ch=3 params=[0x1=500000, 0x3=0]",
                                        "[j2534] PassThruIoctl ch=3 id=0x01"));
}

TEST_F(OpenDeviceTest, SetConfigFailureAndEmptyAndMissingLists) {
    EXPECT_CALL(*device, ioctl(3u, SET_CONFIG, Pointee(VariantWith<ConfigList>(ConfigList{}))))
        .WillOnce(Return(fail(PassThruError::invalid_value(0x03, 0xEA60))));
    SCONFIG_LIST empty{5, nullptr};
    EXPECT_EQ(PassThruIoctl(3, SET_CONFIG, &empty, nullptr), ERR_INVALID_IOCTL_VALUE);
    EXPECT_EQ(last_error_text(), "invalid value 0x0000ea60 for parameter 0x00000003");
    EXPECT_EQ(PassThruIoctl(3, SET_CONFIG, nullptr, nullptr), ERR_NULL_PARAMETER);
    EXPECT_THAT(log.take(),
                ElementsAre("[j2534] PassThruIoctl ch=3 id=0x02", "[j2534] PassThruIoctl SET_CONFIG ch=3 params=[]",
                            "[j2534] PassThruIoctl ch=3 id=0x02"));
}

TEST_F(OpenDeviceTest, ReadVbattOutcomes) {
    EXPECT_CALL(*device, ioctl(4u, READ_VBATT, nullptr))
        .WillOnce(Return(IoctlOutput(std::uint32_t{12345})))
        .WillOnce(Return(IoctlOutput(IoctlNothing{})))
        .WillOnce(Return(fail(PassThruError::timeout())));
    last_error::store("earlier failure");
    std::uint32_t millivolts = 0;
    EXPECT_EQ(PassThruIoctl(4, READ_VBATT, nullptr, &millivolts), STATUS_NOERROR);
    EXPECT_EQ(millivolts, 12345u);
    millivolts = 1;
    EXPECT_EQ(PassThruIoctl(4, READ_VBATT, nullptr, &millivolts), ERR_FAILED);
    EXPECT_EQ(last_error_text(), "earlier failure");
    EXPECT_EQ(PassThruIoctl(4, READ_VBATT, nullptr, &millivolts), ERR_TIMEOUT);
    EXPECT_EQ(millivolts, 1u);
    EXPECT_EQ(PassThruIoctl(4, READ_VBATT, nullptr, nullptr), ERR_NULL_PARAMETER);
    EXPECT_THAT(
        log.take(),
        ElementsAre("[j2534] PassThruIoctl ch=4 id=0x03", "[j2534] PassThruIoctl READ_VBATT OK 12345mV",
                    "[j2534] PassThruIoctl ch=4 id=0x03", "[j2534] PassThruIoctl READ_VBATT ERR no value returned",
                    "[j2534] PassThruIoctl ch=4 id=0x03",
                    "[j2534] PassThruIoctl READ_VBATT ERR transport error: operation timed out",
                    "[j2534] PassThruIoctl ch=4 id=0x03"));
}

TEST_F(OpenDeviceTest, FiveBaudInitChecksItsRequestAndCopiesTheKeyBytes) {
    std::uint8_t address[] = {0x33};
    SBYTE_ARRAY request{1, address};
    EXPECT_CALL(*device, ioctl(3u, FIVE_BAUD_INIT, Pointee(VariantWith<Bytes>(Bytes{0x33}))))
        .WillOnce(Return(IoctlOutput(Bytes{0x55, 0x08, 0x08})))
        .WillOnce(Return(IoctlOutput(Bytes{0x55, 0x08, 0x08})))
        .WillOnce(Return(fail(PassThruError::not_supported())));
    std::uint8_t key[8] = {};
    SBYTE_ARRAY response{2, key};
    EXPECT_EQ(PassThruIoctl(3, FIVE_BAUD_INIT, &request, &response), STATUS_NOERROR);
    EXPECT_EQ(response.NumOfBytes, 2u);
    EXPECT_THAT(key, ElementsAre(0x55, 0x08, 0, 0, 0, 0, 0, 0));
    SBYTE_ARRAY no_room{0, key};
    EXPECT_EQ(PassThruIoctl(3, FIVE_BAUD_INIT, &request, &no_room), STATUS_NOERROR);
    EXPECT_EQ(no_room.NumOfBytes, 0u);
    EXPECT_EQ(PassThruIoctl(3, FIVE_BAUD_INIT, &request, nullptr), ERR_NOT_SUPPORTED);
    EXPECT_EQ(last_error_text(), "operation not supported");

    SBYTE_ARRAY no_bytes{0, address};
    SBYTE_ARRAY no_pointer{1, nullptr};
    EXPECT_EQ(PassThruIoctl(3, FIVE_BAUD_INIT, &no_bytes, nullptr), ERR_NULL_PARAMETER);
    EXPECT_EQ(PassThruIoctl(3, FIVE_BAUD_INIT, &no_pointer, nullptr), ERR_NULL_PARAMETER);
    EXPECT_EQ(PassThruIoctl(3, FIVE_BAUD_INIT, nullptr, nullptr), ERR_NULL_PARAMETER);
    EXPECT_EQ(log.take(), std::vector<std::string>(6, "[j2534] PassThruIoctl ch=3 id=0x04"));
}

TEST_F(OpenDeviceTest, FastInitFillsAnIso14230Response) {
    PASSTHRU_MSG request = passthru_msg({0x81, 0x10, 0xF1, 0x81, 0x03});
    request.ProtocolID = CAN;
    EXPECT_CALL(*device, ioctl(4u, FAST_INIT, Pointee(VariantWith<Bytes>(Bytes{0x81, 0x10, 0xF1, 0x81, 0x03}))))
        .WillOnce(Return(IoctlOutput(Bytes{0x01, 0x02, 0x03})));
    PASSTHRU_MSG response;
    std::memset(&response, 0xEE, sizeof response);
    ASSERT_EQ(PassThruIoctl(4, FAST_INIT, &request, &response), STATUS_NOERROR);
    EXPECT_EQ(response.ProtocolID, ISO14230);
    EXPECT_EQ(response.RxStatus, 0u);
    EXPECT_EQ(response.TxFlags, 0u);
    EXPECT_EQ(response.Timestamp, 0u);
    EXPECT_EQ(response.DataSize, 3u);
    EXPECT_EQ(response.ExtraDataIndex, 3u);
    EXPECT_THAT(std::vector<std::uint8_t>(response.Data, response.Data + 4), ElementsAre(0x01, 0x02, 0x03, 0xEE));
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruIoctl ch=4 id=0x05",
                                        "[j2534] PassThruIoctl FAST_INIT OK ch=4 input=len=5 bytes=[81 10 F1 81 03] "
                                        "output=len=3 bytes=[01 02 03]"));
}

TEST_F(OpenDeviceTest, FastInitTextsForMissingLongAndFailedExchanges) {
    std::vector<std::uint8_t> thirty(30, 0xAB);
    PASSTHRU_MSG request = passthru_msg(thirty);
    EXPECT_CALL(*device, ioctl(4u, FAST_INIT, nullptr)).WillOnce(Return(IoctlOutput(IoctlNothing{})));
    EXPECT_CALL(*device, ioctl(4u, FAST_INIT, Pointee(VariantWith<Bytes>(Bytes(thirty)))))
        .WillOnce(Return(IoctlOutput(Bytes(40, 0xCD))))
        .WillOnce(Return(fail(PassThruError::timeout())));
    EXPECT_EQ(PassThruIoctl(4, FAST_INIT, nullptr, nullptr), STATUS_NOERROR);
    EXPECT_EQ(PassThruIoctl(4, FAST_INIT, &request, nullptr), STATUS_NOERROR);
    EXPECT_EQ(PassThruIoctl(4, FAST_INIT, &request, nullptr), ERR_TIMEOUT);
    std::string ab = "AB", cd = "CD";
    for (int i = 1; i < 24; ++i) ab += " AB", cd += " CD";
    EXPECT_THAT(log.take(), ElementsAre("[j2534] PassThruIoctl ch=4 id=0x05",
                                        "[j2534] PassThruIoctl FAST_INIT OK ch=4 input=null output=(no output)",
                                        "[j2534] PassThruIoctl ch=4 id=0x05",
                                        "[j2534] PassThruIoctl FAST_INIT OK ch=4 input=len=30 bytes=[" + ab +
                                            "] output=len=40 bytes=[" + cd + "]",
                                        "[j2534] PassThruIoctl ch=4 id=0x05",
                                        "[j2534] PassThruIoctl FAST_INIT ERR ch=4 input=len=30 bytes=[" + ab +
                                            "] transport error: operation timed out"));
}

}  // namespace
}  // namespace vexo
