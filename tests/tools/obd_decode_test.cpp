#include "obd_decode.h"

#include <gtest/gtest.h>

#include <vector>

namespace vexo::tools {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(DtcDecode, FirstTwoBitsPickTheSystemLetter) {
    EXPECT_EQ(decode_dtc(0x01, 0x33), "P0133");
    EXPECT_EQ(decode_dtc(0x41, 0x23), "C0123");
    EXPECT_EQ(decode_dtc(0x81, 0x23), "B0123");
    EXPECT_EQ(decode_dtc(0xC1, 0x23), "U0123");
    EXPECT_EQ(decode_dtc(0x03, 0x01), "P0301");
    // The second character is the next two bits, the rest three hexadecimal digits.
    EXPECT_EQ(decode_dtc(0x3F, 0xAB), "P3FAB");
    EXPECT_EQ(decode_dtc(0xD2, 0x0E), "U120E");
}

TEST(DtcDecode, CanAnswerWithCountByte) {
    EXPECT_EQ(decode_dtc_response(Bytes{0x43, 0x02, 0x01, 0x33, 0xC1, 0x23}),
              (std::vector<std::string>{"P0133", "U0123"}));
    EXPECT_EQ(decode_dtc_response(Bytes{0x43, 0x00}), std::vector<std::string>{});
}

TEST(DtcDecode, KlineAnswerPaddedWithEmptySlots) {
    EXPECT_EQ(decode_dtc_response(Bytes{0x43, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00}), std::vector<std::string>{"P0301"});
}

TEST(DtcDecode, OtherServicesAreNotCodes) {
    EXPECT_EQ(decode_dtc_response(Bytes{0x7F, 0x03, 0x11}), std::nullopt);
    EXPECT_EQ(decode_dtc_response(Bytes{}), std::nullopt);
}

TEST(PidDecode, CommonPidsWithTheirFormulas) {
    EXPECT_EQ(decode_pid(0x0C, Bytes{0x1A, 0xF8}), 1726.0);
    EXPECT_EQ(decode_pid(0x0C, Bytes{0x1A, 0xF9}), 1726.25);
    EXPECT_EQ(decode_pid(0x05, Bytes{0x7B}), 83.0);
    EXPECT_EQ(decode_pid(0x0F, Bytes{0x00}), -40.0);
    EXPECT_EQ(decode_pid(0x0D, Bytes{0x32}), 50.0);
    EXPECT_EQ(decode_pid(0x11, Bytes{0xFF}), 100.0);
    EXPECT_EQ(decode_pid(0x2F, Bytes{0x00}), 0.0);
    EXPECT_EQ(decode_pid(0x42, Bytes{0x37, 0x2A}), 14.122);
}

TEST(PidDecode, ShortDataAndUnknownPidsGiveNothing) {
    EXPECT_EQ(decode_pid(0x0C, Bytes{0x1A}), std::nullopt);
    EXPECT_EQ(decode_pid(0x42, Bytes{}), std::nullopt);
    EXPECT_EQ(decode_pid(0x99, Bytes{0x01, 0x02}), std::nullopt);
}

TEST(PidDecode, FormattedWithUnitsAndDecimals) {
    const PidInfo* rpm = find_pid(0x0C);
    ASSERT_NE(rpm, nullptr);
    EXPECT_EQ(format_fixed(*decode_pid(0x0C, Bytes{0x1A, 0xF8}), rpm->decimals) + " " + std::string(rpm->unit),
              "1726 rpm");
    const PidInfo* coolant = find_pid(0x05);
    ASSERT_NE(coolant, nullptr);
    EXPECT_EQ(format_fixed(*decode_pid(0x05, Bytes{0x7B}), coolant->decimals) + " " + std::string(coolant->unit),
              "83 \u00B0C");
    EXPECT_EQ(format_fixed(*decode_pid(0x11, Bytes{0x80}), find_pid(0x11)->decimals), "50.2");
    EXPECT_EQ(format_fixed(*decode_pid(0x42, Bytes{0x37, 0x2A}), find_pid(0x42)->decimals), "14.12");
}

TEST(PidDecode, CommonPidsInDisplayOrder) {
    std::vector<std::uint8_t> pids;
    for (const PidInfo& info : common_pids()) pids.push_back(info.pid);
    EXPECT_EQ(pids, (std::vector<std::uint8_t>{0x0C, 0x0D, 0x05, 0x0F, 0x11, 0x2F, 0x42}));
}

TEST(SupportedPids, BitmapBitsCountFromTheTop) {
    EXPECT_EQ(supported_pids(0x00, Bytes{0x08, 0x1A, 0x80, 0x01}),
              (std::vector<std::uint8_t>{0x05, 0x0C, 0x0D, 0x0F, 0x11, 0x20}));
    EXPECT_EQ(supported_pids(0x40, Bytes{0x40, 0x00, 0x00, 0x00}), std::vector<std::uint8_t>{0x42});
    EXPECT_EQ(supported_pids(0x20, Bytes{0x80, 0x00, 0x00, 0x00}), std::vector<std::uint8_t>{0x21});
}

TEST(SupportedPids, LastRangeStopsAtFF) {
    EXPECT_EQ(supported_pids(0xE0, Bytes{0x00, 0x00, 0x00, 0x03}), std::vector<std::uint8_t>{0xFF});
}

TEST(NumberText, FixedDecimalsRoundHalfAwayFromZero) {
    EXPECT_EQ(format_fixed(83.0, 0), "83");
    EXPECT_EQ(format_fixed(2.5, 0), "3");
    EXPECT_EQ(format_fixed(-0.4, 0), "0");
    EXPECT_EQ(format_fixed(-40.0, 0), "-40");
    EXPECT_EQ(format_fixed(14.125, 2), "14.13");
}

TEST(NumberText, MillivoltsAsVoltsWithTwoDecimals) {
    EXPECT_EQ(format_volts(12345), "12.35");
    EXPECT_EQ(format_volts(12340), "12.34");
    EXPECT_EQ(format_volts(5), "0.01");
    EXPECT_EQ(format_volts(0), "0.00");
    EXPECT_EQ(format_volts(13999), "14.00");
    EXPECT_EQ(format_volts(0xFFFFFFFF), "4294967.30");
}

TEST(VinDecode, CanAnswerWithCountByte) {
    Bytes answer = {0x49, 0x02, 0x01};
    for (const char c : std::string("WVWZZZ1JZ3W386752")) answer.push_back(static_cast<std::uint8_t>(c));
    EXPECT_EQ(decode_vin(answer), "WVWZZZ1JZ3W386752");
}

TEST(VinDecode, WithoutCountByteAndWithLeadingFill) {
    Bytes bare = {0x49, 0x02};
    Bytes filled = {0x49, 0x02, 0x01, 0x00, 0x00, 0x00};
    for (const char c : std::string("1HGCM82633A004352")) {
        bare.push_back(static_cast<std::uint8_t>(c));
        filled.push_back(static_cast<std::uint8_t>(c));
    }
    EXPECT_EQ(decode_vin(bare), "1HGCM82633A004352");
    EXPECT_EQ(decode_vin(filled), "1HGCM82633A004352");
}

TEST(VinDecode, ShortOrForeignAnswersAndUnprintableBytes) {
    EXPECT_EQ(decode_vin(Bytes{0x49, 0x02, 0x01, 'A', 'B'}), std::nullopt);
    EXPECT_EQ(decode_vin(Bytes{0x7F, 0x09, 0x12}), std::nullopt);
    Bytes answer = {0x49, 0x02, 0x01};
    for (int i = 0; i < 16; ++i) answer.push_back('A');
    answer.push_back(0x07);
    EXPECT_EQ(decode_vin(answer), "AAAAAAAAAAAAAAAA?");
}

TEST(NrcNames, NamedCodes) {
    EXPECT_EQ(nrc_name(0x10), "generalReject");
    EXPECT_EQ(nrc_name(0x11), "serviceNotSupported");
    EXPECT_EQ(nrc_name(0x12), "subFunctionNotSupported");
    EXPECT_EQ(nrc_name(0x13), "incorrectMessageLengthOrInvalidFormat");
    EXPECT_EQ(nrc_name(0x22), "conditionsNotCorrect");
    EXPECT_EQ(nrc_name(0x31), "requestOutOfRange");
    EXPECT_EQ(nrc_name(0x33), "securityAccessDenied");
    EXPECT_EQ(nrc_name(0x35), "invalidKey");
    EXPECT_EQ(nrc_name(0x78), "responsePending");
    EXPECT_EQ(nrc_name(0x7F), "serviceNotSupportedInActiveSession");
    EXPECT_EQ(nrc_name(0xF3), "vehicleManufacturerSpecific");
    EXPECT_EQ(nrc_name(0x00), "unknownNegativeResponse");
}

TEST(ClassifyResponse, PositiveNegativeAndPending) {
    const Bytes read_did = {0x22, 0xF1, 0x90};
    EXPECT_EQ(classify_response(read_did, 0, Bytes{0x62, 0xF1, 0x90, 0x41}), ResponseKind::Positive);
    EXPECT_EQ(classify_response(read_did, 0, Bytes{0x7F, 0x22, 0x31}), ResponseKind::Negative);
    EXPECT_EQ(classify_response(read_did, 0, Bytes{0x7F, 0x22, 0x78}), ResponseKind::Pending);
}

TEST(ClassifyResponse, AnswersToOtherRequestsAreUnrelated) {
    const Bytes rpm = {0x01, 0x0C};
    EXPECT_EQ(classify_response(rpm, 1, Bytes{0x41, 0x0C, 0x1A, 0xF8}), ResponseKind::Positive);
    // A late answer to the previous PID must not pass for this one.
    EXPECT_EQ(classify_response(rpm, 1, Bytes{0x41, 0x0D, 0x32}), ResponseKind::Unrelated);
    EXPECT_EQ(classify_response(rpm, 1, Bytes{0x41}), ResponseKind::Unrelated);
    EXPECT_EQ(classify_response(rpm, 1, Bytes{0x7F, 0x09, 0x31}), ResponseKind::Unrelated);
    EXPECT_EQ(classify_response(rpm, 1, Bytes{0x7F, 0x01}), ResponseKind::Unrelated);
    EXPECT_EQ(classify_response(rpm, 1, Bytes{}), ResponseKind::Unrelated);
    // The echo of the request itself, on a line that hears its own transmission.
    EXPECT_EQ(classify_response(rpm, 1, Bytes{0x01, 0x0C}), ResponseKind::Unrelated);
    // An echo longer than the request's parameters is cut to them.
    EXPECT_EQ(classify_response(Bytes{0x04}, 3, Bytes{0x44}), ResponseKind::Positive);
}

}  // namespace
}  // namespace vexo::tools
