#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <random>
#include <string>

#include "platform/registry.h"

namespace vexo::platform {
namespace {

// The view the library writes: that of the applications that can load this build.
constexpr REGSAM kOwnView = sizeof(void*) == 4 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
constexpr DWORD kOwnViewFlag = sizeof(void*) == 4 ? RRF_SUBKEY_WOW6432KEY : RRF_SUBKEY_WOW6464KEY;

// Each test works below its own scratch key in HKLM and removes it afterwards.
class Win32Registry : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        scratch_ = "SOFTWARE\\vexo-unit-test-" + std::to_string(rd());
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, wide(scratch_).c_str()); }

    static std::wstring wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
    static bool exists(const std::string& path) {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(path).c_str(), 0, KEY_READ | kOwnView, &key) !=
            ERROR_SUCCESS) {
            return false;
        }
        ::RegCloseKey(key);
        return true;
    }
    // The raw stored bytes and type of one value.
    static std::pair<DWORD, std::string> read(const std::string& path, const std::string& name) {
        DWORD type = 0;
        std::string bytes(512, '\0');
        DWORD size = static_cast<DWORD>(bytes.size());
        const LSTATUS status =
            ::RegGetValueW(HKEY_LOCAL_MACHINE, wide(path).c_str(), wide(name).c_str(),
                           RRF_RT_ANY | RRF_NOEXPAND | kOwnViewFlag, &type, bytes.data(), &size);
        if (status != ERROR_SUCCESS) return {REG_NONE, "error " + std::to_string(status)};
        bytes.resize(size);
        return {type, bytes};
    }

    std::string scratch_;
};

TEST_F(Win32Registry, WritesUtf16TextsAndLittleEndianDwords) {
    const std::string path = scratch_ + "\\parent\\child";
    ASSERT_TRUE(write_machine_key(
        {path,
         {{"Text", std::string("caf\xC3\xA9")}, {"Empty", std::string()}, {"Number", std::uint32_t{0x01020304}}}}));
    EXPECT_EQ(read(path, "Text"), std::make_pair(DWORD{REG_SZ}, std::string("c\0a\0f\0\xE9\0\0\0", 10)));
    EXPECT_EQ(read(path, "Empty"), std::make_pair(DWORD{REG_SZ}, std::string("\0\0", 2)));
    EXPECT_EQ(read(path, "Number"), std::make_pair(DWORD{REG_DWORD}, std::string("\x04\x03\x02\x01", 4)));

    // Writing again replaces values of another type and keeps the rest.
    ASSERT_TRUE(write_machine_key({path, {{"Number", std::string("1")}}}));
    EXPECT_EQ(read(path, "Number"), std::make_pair(DWORD{REG_SZ}, std::string("1\0\0\0", 4)));
    EXPECT_EQ(read(path, "Empty").first, DWORD{REG_SZ});
}

TEST_F(Win32Registry, DeleteTakesTheWholeKeyButNotItsParentOrSiblings) {
    const std::string parent = scratch_ + "\\parent";
    ASSERT_TRUE(write_machine_key({parent + "\\ours\\added later", {{"X", std::uint32_t{1}}}}));
    ASSERT_TRUE(write_machine_key({parent + "\\ours", {{"Y", std::uint32_t{1}}}}));
    ASSERT_TRUE(write_machine_key({parent + "\\sibling", {{"Z", std::uint32_t{1}}}}));

    ASSERT_TRUE(delete_machine_key(parent + "\\ours"));
    EXPECT_FALSE(exists(parent + "\\ours"));
    EXPECT_TRUE(exists(parent + "\\sibling"));
    EXPECT_TRUE(exists(parent));

    // Already gone: nothing to do, not an error.
    EXPECT_TRUE(delete_machine_key(parent + "\\ours"));
}

}  // namespace
}  // namespace vexo::platform
