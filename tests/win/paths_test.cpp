// Paths and text conversion, on the platform's own conversion calls.
#include "app/paths_win.h"

#include <gtest/gtest.h>
#include <knownfolders.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "app/host_log_win.h"

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
    const std::pair<const wchar_t*, const wchar_t*> added[] = {
        // Drive and other paths: "\\?\" in front, "/" made "\".
        {L"C:/app/www/a.png", L"\\\\?\\C:\\app\\www\\a.png"},
        {L"\\\\?\\C:/x/y", L"\\\\?\\C:\\x\\y"},
        {L"C:", L"C:"},
        {L"a/b", L"a\\b"},
        {L"abcd", L"\\\\?\\abcd"},
        {L"", L""},
        {L"\\\\\\x\\y", L"\\\\?\\\\\\\\x\\y"},  // three backslashes: not a network path
        // Network paths: the platform's long form of a share.
        {L"\\\\server\\share\\f", L"\\\\?\\UNC\\server\\share\\f"},
        {L"//server/share/app/package.json", L"\\\\?\\UNC\\server\\share\\app\\package.json"},
        {L"\\\\srv", L"\\\\?\\UNC\\srv"},
        {L"\\\\?\\UNC\\server\\share\\f", L"\\\\?\\UNC\\server\\share\\f"},
        // Device paths keep their own prefix.
        {L"\\\\.\\pipe\\name", L"\\\\.\\pipe\\name"},
        {L"//./COM1", L"\\\\.\\COM1"},
    };
    for (const auto& [path, expected] : added) {
        EXPECT_EQ(AddLongPathPrefix(path), expected) << ToNarrow(path);
    }
    const std::pair<const wchar_t*, const wchar_t*> stripped[] = {
        {L"\\\\?\\C:\\x", L"C:\\x"},
        {L"C:\\x", L"C:\\x"},
        {L"\\\\?\\", L""},
        {L"\\\\?", L"\\\\?"},
        {L"\\\\?\\UNC\\server\\share\\f", L"\\\\server\\share\\f"},
        {L"\\\\?\\unc\\server\\share", L"\\\\server\\share"},
        {L"\\\\server\\share\\f", L"\\\\server\\share\\f"},
        {L"\\\\?\\UNCx\\y", L"UNCx\\y"},
    };
    for (const auto& [path, expected] : stripped) {
        EXPECT_EQ(StripLongPathPrefix(path), expected) << ToNarrow(path);
    }
    for (const wchar_t* path : {L"\\\\server\\share\\f", L"C:\\app\\www\\a.png"}) {
        EXPECT_EQ(StripLongPathPrefix(AddLongPathPrefix(path)), path) << ToNarrow(path);
    }
}

TEST(Paths, ExecutablePathOfLongShareAndDrivePaths) {
    // Past the classic limit the canonical form carries a long-path prefix; the folder the host
    // works from never does.
    std::wstring folders;
    for (int i = 0; i < 8; ++i) folders += L"\\" + std::wstring(40, static_cast<wchar_t>(L'a' + i));
    const std::wstring share = L"\\\\server\\share" + folders + L"\\app.exe";
    const std::wstring drive = L"C:" + folders + L"\\app.exe";
    ASSERT_GT(share.size(), 300u);
    EXPECT_EQ(PlainModulePath(L"\\\\?\\UNC\\server\\share" + folders + L"\\app.exe"),
              ToNarrow(share));
    EXPECT_EQ(PlainModulePath(share), ToNarrow(share));
    EXPECT_EQ(PlainModulePath(L"\\\\?\\" + drive), ToNarrow(drive));
    EXPECT_EQ(PlainModulePath(drive), ToNarrow(drive));
    EXPECT_EQ(PlainModulePath(L"\\\\server\\share\\app\\..\\game\\app.exe"),
              "\\\\server\\share\\game\\app.exe");
    EXPECT_EQ(PlainModulePath(L"C:\\app\\.\\game.exe"), "C:\\app\\game.exe");
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

TEST(Paths, FileFactsAreThoseOfTheTarget) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::string folder = ToNarrow(temp) + "wrapper-facts-test";
    CreateDirectoryW(ToWide(folder).c_str(), nullptr);
    const std::string file = folder + "\\script.js";
    HANDLE handle = CreateFileW(ToWide(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(handle, "console.log(1);", 15, &written, nullptr);
    CloseHandle(handle);

    FileFacts facts = QueryFileFacts(file);
    EXPECT_TRUE(facts.exists);
    EXPECT_FALSE(facts.isDirectory);
    EXPECT_EQ(facts.size, 15u);
    facts = QueryFileFacts(folder);
    EXPECT_TRUE(facts.exists);
    EXPECT_TRUE(facts.isDirectory);
    EXPECT_EQ(facts.size, 0u);
    facts = QueryFileFacts(folder + "\\missing.js");
    EXPECT_FALSE(facts.exists);
    EXPECT_EQ(GetFileSize(folder + "\\missing.js"), 0u);

    // Held by another handle without any sharing: the facts can still be read.
    handle = CreateFileW(ToWide(file).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(QueryFileFacts(file).size, 15u);
    CloseHandle(handle);

    // A Windows symbolic link describes itself (size 0) to GetFileAttributesExW; the facts must be
    // its target's. Wine 8 cannot make one (CreateSymbolicLinkW reports success and makes
    // nothing); links made on the Unix side are seen as their targets and are tested end to end.
    const std::string link = folder + "\\link.js";
    if (CreateSymbolicLinkW(ToWide(link).c_str(), ToWide(file).c_str(),
                            SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
        GetFileAttributesW(ToWide(link).c_str()) != INVALID_FILE_ATTRIBUTES) {
        facts = QueryFileFacts(link);
        EXPECT_TRUE(facts.exists);
        EXPECT_EQ(facts.size, 15u);
        EXPECT_EQ(GetFileSize(link), 15u);
        DeleteFileW(ToWide(link).c_str());
    }
    DeleteFileW(ToWide(file).c_str());
    RemoveDirectoryW(ToWide(folder).c_str());
}

std::vector<std::string> LinesOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(HostLog, LineFormat) {
    struct Row {
        std::string event;
        int year, month, day, hour, minute, second, millisecond;
        std::string line;
    };
    const std::string cut(kHostLogEventLimit - 1, 'x');
    const Row rows[] = {
        {"start", 2026, 1, 2, 3, 4, 5, 6, "2026-01-02T03:04:05.006Z start\r\n"},
        {"", 1999, 12, 31, 23, 59, 59, 999, "1999-12-31T23:59:59.999Z \r\n"},
        // Line breaks of a box text never start a line of their own.
        {"box \"a\r\nb\nc\"", 2026, 12, 7, 0, 0, 0, 0, "2026-12-07T00:00:00.000Z box \"a  b c\"\r\n"},
        // UTF-8 passes as it is; a long event is cut before a character that does not fit.
        {"Spielstände €", 2026, 1, 1, 0, 0, 0, 0, "2026-01-01T00:00:00.000Z Spielstände €\r\n"},
        {cut + "€€", 2026, 1, 1, 0, 0, 0, 0, "2026-01-01T00:00:00.000Z " + cut + "\r\n"},
        {cut + "y€", 2026, 1, 1, 0, 0, 0, 0, "2026-01-01T00:00:00.000Z " + cut + "y\r\n"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FormatHostLogLine(row.event, row.year, row.month, row.day, row.hour, row.minute,
                                    row.second, row.millisecond),
                  row.line)
            << row.event.substr(0, 40);
    }
}

// The folder is made; lines are appended, and at the limit the older part moves
// to host.log.1 with nothing lost between the two. A folder that cannot be written costs nothing.
TEST(HostLog, WritesIntoTheUserDataFolderAndKeepsItSmall) {
    namespace fs = std::filesystem;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const fs::path root = fs::path(temp) / "wrapper-log-test";
    fs::remove_all(root);
    fs::create_directories(root);
    const fs::path folder = root / "My Game";
    OpenHostLog(ToNarrow(folder.wstring()));
    WriteHostLog("start exe 1.2.3");
    WriteHostLog("failed \"two\nlines\"");
    std::vector<std::string> lines = LinesOf(folder / kHostLogName);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(23), "Z start exe 1.2.3\r");
    EXPECT_EQ(lines[1].substr(23), "Z failed \"two lines\"\r");

    const std::string filler(1000, 'f');
    const int count = 1500;  // about 1.5 MiB of lines: the log moves aside once
    for (int i = 0; i < count; ++i) WriteHostLog(std::to_string(i) + " " + filler);
    EXPECT_LE(fs::file_size(folder / kHostLogName), kHostLogLimit);
    EXPECT_LE(fs::file_size(folder / kHostLogOlderName), kHostLogLimit);
    std::vector<std::string> older = LinesOf(folder / kHostLogOlderName);
    lines = LinesOf(folder / kHostLogName);
    ASSERT_FALSE(older.empty());
    ASSERT_FALSE(lines.empty());
    const auto number = [](const std::string& line) { return std::stoi(line.substr(25)); };
    EXPECT_EQ(number(lines.back()), count - 1);
    EXPECT_EQ(number(lines.front()), number(older.back()) + 1);
    // One move: host.log.1 holds the first two lines and the numbered ones up to the move.
    EXPECT_EQ(older.size() + lines.size(), static_cast<size_t>(count) + 2);

    // Another program holds host.log so that it cannot move (no delete sharing): the log keeps
    // its bound all the same, its text copied to host.log.1 before it starts again.
    {
        const HANDLE held = CreateFileW((folder / kHostLogName).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        for (int i = 0; i < count; ++i) WriteHostLog(std::to_string(count + i) + " " + filler);
        CloseHandle(held);
        EXPECT_LE(fs::file_size(folder / kHostLogName), kHostLogLimit);
        lines = LinesOf(folder / kHostLogName);
        older = LinesOf(folder / kHostLogOlderName);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(number(lines.back()), 2 * count - 1);
        EXPECT_EQ(number(lines.front()), number(older.back()) + 1);
    }

    // A line left unfinished (a write cut short by a full disk) is ended before the next one.
    std::ofstream(folder / kHostLogName, std::ios::binary | std::ios::trunc) << "cut sho";
    WriteHostLog("next");
    WriteHostLog("and next");
    lines = LinesOf(folder / kHostLogName);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "cut sho\r");
    EXPECT_EQ(lines[1].substr(23), "Z next\r");
    EXPECT_EQ(lines[2].substr(23), "Z and next\r");

    // A platform call that failed without an error code is not reported as success.
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LastErrorResult(), E_FAIL);
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorResult(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));

    // A folder under a file cannot be made: nothing is written, nothing fails.
    const fs::path file = root / "a file";
    std::ofstream(file) << "x";
    OpenHostLog(ToNarrow((file / "sub").wstring()));
    WriteHostLog("dropped");
    EXPECT_FALSE(fs::exists(file / "sub"));
    EXPECT_EQ(fs::file_size(file), 1u);
    OpenHostLog("");
    WriteHostLog("dropped too");
    fs::remove_all(root);
}

}  // namespace
