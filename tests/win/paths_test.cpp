// Paths and text conversion, on the platform's own conversion calls.
#include "app/paths_win.h"

#include <gtest/gtest.h>
#include <knownfolders.h>

namespace {

TEST(Text, ConversionsRoundTripAndReplaceInvalidUtf8) {
    EXPECT_EQ(ToWide("\xE2\x82\xAC"), std::wstring(1, 0x20AC));
    EXPECT_EQ(ToNarrow(std::wstring(1, 0x20AC)), "\xE2\x82\xAC");
    EXPECT_EQ(ToWide(""), L"");
    EXPECT_EQ(ToNarrow(L""), "");
    EXPECT_EQ(ToWide("a\xFF" "b"), (std::wstring{L'a', 0xFFFD, L'b'}));
    EXPECT_EQ(ToNarrow(ToWide("\xC3")), "\xEF\xBF\xBD");
    // An embedded zero byte is kept: lengths are explicit.
    EXPECT_EQ(ToWide(std::string("a\0b", 3)).size(), 3u);
    const std::string mixed = "caf\xC3\xA9 \xF0\x9F\x98\x80 \xE6\x97\xA5";
    EXPECT_EQ(ToNarrow(ToWide(mixed)), mixed);
    EXPECT_EQ(ToWide(mixed).size(), 9u);  // the emoji is a surrogate pair
}

TEST(Paths, LongPathPrefixRules) {
    EXPECT_EQ(AddLongPathPrefix(L"C:/app/www/a.png"), L"\\\\?\\C:\\app\\www\\a.png");
    EXPECT_EQ(AddLongPathPrefix(L"\\\\?\\C:/x/y"), L"\\\\?\\C:\\x\\y");
    EXPECT_EQ(AddLongPathPrefix(L"C:"), L"C:");
    EXPECT_EQ(AddLongPathPrefix(L"a/b"), L"a\\b");
    EXPECT_EQ(AddLongPathPrefix(L"abcd"), L"\\\\?\\abcd");
    EXPECT_EQ(AddLongPathPrefix(L""), L"");
    EXPECT_EQ(AddLongPathPrefix(L"\\\\server\\share\\f"), L"\\\\?\\\\\\server\\share\\f");
    EXPECT_EQ(StripLongPathPrefix(L"\\\\?\\C:\\x"), L"C:\\x");
    EXPECT_EQ(StripLongPathPrefix(L"C:\\x"), L"C:\\x");
    EXPECT_EQ(StripLongPathPrefix(L"\\\\?\\"), L"");
    EXPECT_EQ(StripLongPathPrefix(L"\\\\?"), L"\\\\?");
}

TEST(Paths, FileQueries) {
    const std::string exe = GetExecutablePath();
    ASSERT_GE(exe.size(), 4u);
    EXPECT_EQ(exe.substr(exe.size() - 4), ".exe");
    EXPECT_NE(exe.rfind("\\\\?\\", 0), 0u);
    EXPECT_EQ(GetExecutablePath(), exe);  // cached
    EXPECT_TRUE(FileExists(exe));
    EXPECT_GT(GetFileSize(exe), 1000u);
    const std::string folder = exe.substr(0, exe.rfind('\\') + 1);
    EXPECT_TRUE(FileExists(folder));  // a folder counts
    EXPECT_FALSE(FileExists(folder + "no such file"));
    EXPECT_EQ(GetFileSize(folder + "no such file"), 0u);

    const std::string local = GetKnownFolderPath(FOLDERID_LocalAppData);
    ASSERT_FALSE(local.empty());
    EXPECT_NE(local.back(), '\\');
    EXPECT_TRUE(FileExists(local));
}

TEST(Paths, FileSizeIsSixtyFourBit) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::string path = ToNarrow(temp) + "wrapper-size-test.bin";
    HANDLE file = CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD unused = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = (3LL << 30) + 5;  // 3 GiB + 5: past both the signed and unsigned 32-bit range
    ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    EXPECT_EQ(GetFileSize(path), (3ULL << 30) + 5);
    DeleteFileW(ToWide(path).c_str());
}

}  // namespace
