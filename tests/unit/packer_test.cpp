#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "bundle/asset_bundle.h"
#include "packager/bundle_tool.h"
#include "bundle/bundle_writer.h"
#include "temp_files.h"

namespace fs = std::filesystem;

namespace {

using unit::ReadFile;
using unit::TempDir;
using unit::WriteFile;

std::vector<std::string> Listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(Utf8FromPath(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

// Loads bundle bytes from memory (an exactly sized copy).
struct LoadedBundle {
    explicit LoadedBundle(const std::string& bytes) : data(bytes.begin(), bytes.end()) {
        bundle.readMode = ReadMode::Memory;
        bundle.base = data.data();
        bundle.limit = data.size();
        bundle.Load();
    }
    std::string Content(const BundleFileEntry& entry) const {
        return std::string(reinterpret_cast<const char*>(bundle.DataPointer(entry.offset)),
                           static_cast<std::size_t>(entry.size));
    }
    std::vector<std::uint8_t> data;
    AssetBundle bundle;
};

std::string PseudoRandomBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 engine(seed);
    std::string out(n, '\0');
    for (char& c : out) c = static_cast<char>(engine());
    return out;
}

// name -> content of a sample application folder.
const std::vector<std::pair<std::string, std::string>>& SampleFiles() {
    static const auto files = []() -> std::vector<std::pair<std::string, std::string>> {
        std::string everyByte;
        for (int i = 0; i < 2560; ++i) everyByte.push_back(static_cast<char>(i & 0xFF));
        return {
            {"index.html", "<!doctype html><title>t</title>"},
            {"empty.txt", ""},
            {"\xC3\xA9/\xE2\x82\xAC.txt", "euro"},  // é/€.txt
            {"a/b/c/deep.bin", everyByte},
            {"big.bin", PseudoRandomBytes((3 << 20) + 17, 7)},  // spans several copy buffers
            {"A.txt", "upper"},
            {"a.txt", "lower"},
            {"a/empty/dir-sibling.txt", "x"},
        };
    }();
    return files;
}

void MakeSampleFolder(const fs::path& folder) {
    for (const auto& [name, content] : SampleFiles())
        WriteFile(folder / PathFromUtf8(name), content);
    fs::create_directories(folder / "empty-folder" / "inner");
}

TEST(Packer, RoundTripOfEveryFile) {
    TempDir tmp;
    MakeSampleFolder(tmp / "www");
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    const PackResult result = PackFolder(
        tmp / "www", tmp / "out.dat",
        [&](std::uint64_t done, std::uint64_t total) { progress.emplace_back(done, total); });

    const auto& expected = SampleFiles();
    std::uint64_t totalBytes = 0;
    std::vector<std::string> names;
    for (const auto& [name, content] : expected) {
        totalBytes += content.size();
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(result.fileCount, expected.size());
    EXPECT_EQ(result.contentBytes, totalBytes);

    const LoadedBundle loaded(ReadFile(tmp / "out.dat"));
    const AssetBundle& b = loaded.bundle;
    EXPECT_LT(b.chunks.at(kBundleTagFdir).offset, b.chunks.at(kBundleTagBlob).offset);
    EXPECT_EQ(b.blobOffset + b.blobSize, loaded.data.size());
    EXPECT_EQ(b.blobSize, totalBytes);
    std::vector<std::string> bundled;
    for (const auto& file : b.files) bundled.emplace_back(file.first);
    EXPECT_EQ(bundled, names);
    std::uint64_t nextOffset = 0;  // files lie back to back in name order
    for (const auto& [name, entry] : b.files) {
        EXPECT_EQ(entry.offset, nextOffset) << name;
        EXPECT_EQ(entry.extra, 0u) << name;
        nextOffset += entry.size;
    }
    for (const auto& [name, content] : expected) {
        const BundleFileEntry* entry = b.FindFile(name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(loaded.Content(*entry), content) << name;
    }

    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), std::make_pair(std::uint64_t{0}, totalBytes));
    EXPECT_EQ(progress.back(), std::make_pair(totalBytes, totalBytes));
    for (std::size_t i = 1; i < progress.size(); ++i)
        EXPECT_LE(progress[i - 1].first, progress[i].first);
    EXPECT_EQ(Listing(tmp.path()),
              (std::vector<std::string>{"out.dat", "www"}));  // no temporary left
}

TEST(Packer, SameFolderGivesTheSameBytes) {
    TempDir tmp;
    MakeSampleFolder(tmp / "one");
    auto files = SampleFiles();
    std::reverse(files.begin(), files.end());  // created in another order
    for (const auto& [name, content] : files) WriteFile(tmp / ("two/" + name), content);

    PackFolder(tmp / "one", tmp / "1.dat");
    PackFolder(tmp / "two/", tmp / "2.dat");  // a trailing separator changes nothing
    PackFolder(tmp / "one", tmp / "1.dat");   // replaces the earlier output
    const std::string first = ReadFile(tmp / "1.dat");
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first, ReadFile(tmp / "2.dat"));

    TempDir single;
    WriteFile(single / "www/index.html", "hello");
    PackFolder(single / "www", single / "one.dat");
    EXPECT_EQ(ReadFile(single / "one.dat"), EncodeBundle({{"index.html", "hello"}}));
    EXPECT_EQ(ReadFile(single / "one.dat").size(), 96u);
}

TEST(Packer, LinksAndTheOutputInsideTheFolder) {
    TempDir tmp;
    WriteFile(tmp / "www/real.txt", "real");
    WriteFile(tmp / "outside.txt", "outside");
    fs::create_symlink(tmp / "outside.txt", tmp / "www/link.txt");
    PackFolder(tmp / "www", tmp / "www/assets.dat");
    PackFolder(tmp / "www",
               tmp / "www/assets.dat");  // the old bundle is not packed into the new one

    const LoadedBundle loaded(ReadFile(tmp / "www/assets.dat"));
    ASSERT_EQ(loaded.bundle.files.size(), 2u);
    EXPECT_EQ(loaded.Content(*loaded.bundle.FindFile("link.txt")), "outside");
    EXPECT_EQ(loaded.Content(*loaded.bundle.FindFile("real.txt")), "real");
}

// Each kind of input the packer refuses. The tests run as root, for whom permissions do not
// make a file unreadable, so unreadable inputs are made from links and special files.
TEST(Packer, RefusesUnreadableInputsAndLeavesNoOutput) {
    struct Case {
        const char* what;
        std::string name;
        void (*make)(const fs::path& target);
        std::string message;
    };
    const std::vector<Case> cases = {
        {"dangling link", "sub/gone.js",
         [](const fs::path& p) { fs::create_symlink(p.parent_path() / "nowhere", p); },
         "sub/gone.js: symbolic link whose target does not exist"},
        {"FIFO", "pipe", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); },
         "pipe: not a regular file (FIFO, socket or device)"},
        {"link to a folder", "linked",
         [](const fs::path& p) { fs::create_directory_symlink(p.parent_path() / "sub", p); },
         "linked: symbolic link to a folder (folder links are not followed)"},
        {"link to itself", "sub/loop", [](const fs::path& p) { fs::create_symlink(p, p); },
         "sub/loop: cannot be examined: " + std::generic_category().message(ELOOP)},
        {"name that is not UTF-8", "bad\xFF.txt", [](const fs::path& p) { WriteFile(p, "x"); },
         "bad\xFF.txt: name is not valid UTF-8"},
    };
    for (const Case& c : cases) {
        TempDir tmp;
        WriteFile(tmp / "www/index.html", "ok");
        WriteFile(tmp / "www/sub/a.js", "a");
        c.make(tmp / ("www/" + c.name));
        WriteFile(tmp / "out/assets.dat", "previous bundle");

        try {
            PackFolder(tmp / "www", tmp / "out/assets.dat");
            ADD_FAILURE() << c.what << ": packed";
        } catch (const BundleWriteError& e) {
            EXPECT_EQ(e.what(), c.message) << c.what;
        }
        EXPECT_EQ(Listing(tmp / "out"), std::vector<std::string>{"assets.dat"}) << c.what;
        EXPECT_EQ(ReadFile(tmp / "out/assets.dat"), "previous bundle") << c.what;
    }

    TempDir tmp;
    EXPECT_THROW(PackFolder(tmp / "missing", tmp / "x.dat"), BundleWriteError);
    WriteFile(tmp / "file", "x");
    EXPECT_THROW(PackFolder(tmp / "file", tmp / "x.dat"), BundleWriteError);
    fs::create_directories(tmp / "www");
    EXPECT_THROW(PackFolder(tmp / "www", tmp / "no-such-folder/x.dat"), BundleWriteError);
    EXPECT_EQ(Listing(tmp.path()), (std::vector<std::string>{"file", "www"}));
}

// What PackFolder reports, as a user without privileges. Root reads every file whatever its
// permissions, so as root the pack runs in a child process that has given its privileges up.
std::string PackMessageAsUnprivilegedUser(const fs::path& folder, const fs::path& output) {
    const auto pack = [&]() -> std::string {
        try {
            PackFolder(folder, output);
            return "packed";
        } catch (const BundleWriteError& e) {
            return e.what();
        }
    };
    if (geteuid() != 0) return pack();
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        std::string message = "could not drop privileges";
        if (setgid(65534) == 0 && setuid(65534) == 0) message = pack();
        const ssize_t written = write(fds[1], message.data(), message.size());
        _exit(written == static_cast<ssize_t>(message.size()) ? 0 : 1);
    }
    close(fds[1]);
    std::string message;
    char buffer[512];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) message.append(buffer, n);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return message;
}

TEST(Packer, FilesTheUserMayNotReadAreReportedWithTheSystemsReason) {
    const std::string denied = std::generic_category().message(EACCES);
    TempDir tmp;
    fs::permissions(tmp.path(), fs::perms::all);  // the unprivileged user writes the output here
    WriteFile(tmp / "www/index.html", "ok");
    fs::permissions(tmp / "www", fs::perms::all);
    {
        SCOPED_TRACE("a file without read permission");
        WriteFile(tmp / "www/secret.txt", "secret");
        fs::permissions(tmp / "www/secret.txt", fs::perms::none);
        EXPECT_EQ(PackMessageAsUnprivilegedUser(tmp / "www", tmp / "out.dat"),
                  "secret.txt: cannot be opened for reading: " + denied);
        fs::remove(tmp / "www/secret.txt");
    }
    {
        SCOPED_TRACE("a folder that can be listed but not entered");
        WriteFile(tmp / "www/closed/inner.txt", "inner");
        fs::permissions(tmp / "www/closed",
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        EXPECT_EQ(PackMessageAsUnprivilegedUser(tmp / "www", tmp / "out.dat"),
                  "closed/inner.txt: cannot be examined: " + denied);
        fs::permissions(tmp / "www/closed", fs::perms::all);
    }
    EXPECT_FALSE(fs::exists(tmp / "out.dat"));
    EXPECT_EQ(PackMessageAsUnprivilegedUser(tmp / "www", tmp / "out.dat"), "packed");
}

TEST(Packer, TemporaryFilesOfAnInterruptedPackAreNotPacked) {
    TempDir tmp;
    WriteFile(tmp / "www/index.html", "page");
    // Left behind by a pack into www/assets.dat that was killed; the other two are ordinary files
    // that merely look alike.
    WriteFile(tmp / "www/assets.dat.partial-0123456789abcdef", "half a bundle");
    WriteFile(tmp / "www/assets.dat.partial-notatemporaryname", "kept");
    WriteFile(tmp / "www/sub/assets.dat.partial-0123456789abcdef", "another folder");
    PackFolder(tmp / "www", tmp / "www/assets.dat");
    const LoadedBundle loaded(ReadFile(tmp / "www/assets.dat"));
    std::vector<std::string> names;
    for (const auto& file : loaded.bundle.files) names.emplace_back(file.first);
    EXPECT_EQ(names, (std::vector<std::string>{"assets.dat.partial-notatemporaryname", "index.html",
                                               "sub/assets.dat.partial-0123456789abcdef"}));
    // Written elsewhere, the same name is an ordinary file of the folder.
    PackFolder(tmp / "www", tmp / "assets.dat");
    EXPECT_EQ(LoadedBundle(ReadFile(tmp / "assets.dat")).bundle.files.size(), 5u);
}

TEST(Packer, FileThatChangesWhilePackingIsRefused) {
    TempDir tmp;
    WriteFile(tmp / "www/a.txt", "abc");
    std::vector<BundleSourceFile> files = CollectBundleFiles(tmp / "www");
    ASSERT_EQ(files.size(), 1u);
    WriteFile(tmp / "www/a.txt", "ab");
    EXPECT_THROW(WriteBundleFile(files, tmp / "x.dat"), BundleWriteError);
    WriteFile(tmp / "www/a.txt", "abcd");
    EXPECT_THROW(WriteBundleFile(files, tmp / "x.dat"), BundleWriteError);
    EXPECT_EQ(Listing(tmp.path()), std::vector<std::string>{"www"});
}

TEST(Packer, Utf8Validation) {
    const std::vector<std::pair<std::string, bool>> vectors = {
        {"", true},
        {"index.html", true},
        {"\xC3\xA9/\xE2\x82\xAC.txt", true},
        {"\xF0\x9F\x98\x80", true},  // U+1F600
        {"\xF4\x8F\xBF\xBF", true},  // U+10FFFF
        {"\xFF", false},
        {"\xC3", false},              // cut short
        {"\xC0\xAF", false},          // overlong "/"
        {"\xE0\x80\xAF", false},      // overlong "/"
        {"\xED\xA0\x80", false},      // surrogate U+D800
        {"\xF4\x90\x80\x80", false},  // past U+10FFFF
        {"\xE2\x82", false},
        {"a\x80", false},
        {"\xE2\x28\xA1", false},
    };
    for (const auto& [text, valid] : vectors)
        EXPECT_EQ(IsValidUtf8(text), valid) << testing::PrintToString(text);
}

struct ToolRun {
    int code;
    std::string out;
    std::string err;
};

ToolRun RunTool(const std::vector<std::string>& args,
                std::uint64_t progressThreshold = kPackProgressThreshold) {
    std::ostringstream out, err;
    const int code = RunBundleTool(args, out, err, progressThreshold);
    return {code, out.str(), err.str()};
}

TEST(Packer, CommandLine) {
    TempDir tmp;
    WriteFile(tmp / "www/index.html", "hello");
    WriteFile(tmp / "www/\xC3\xA9/\xE2\x82\xAC.txt", "euro");
    const std::string folder = Utf8FromPath(tmp / "www");
    const std::string bundle = Utf8FromPath(tmp / "app.dat");

    ToolRun r = RunTool({"pack", folder, bundle});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "packed 2 files (9 bytes) into " + bundle + "\n");
    EXPECT_EQ(r.err, "");  // small inputs show no progress

    r = RunTool({"list", bundle});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "index.html\t0\t5\n\xC3\xA9/\xE2\x82\xAC.txt\t5\t4\n");

    r = RunTool({"verify", bundle});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "ok: 2 files, 9 bytes\n");

    r = RunTool({"pack", folder, Utf8FromPath(tmp / "again.dat")}, 0);
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("packing: 100% (0 of 0 MiB)\n"), std::string::npos) << r.err;

    // verify and list report the reader's own message.
    const std::string good = ReadFile(tmp / "app.dat");
    const std::vector<std::pair<std::string, std::string>> broken = {
        {good.substr(0, good.size() - 1), "bad chunk\n"},
        {good.substr(0, 10), "bundle read error\n"},
        {"w7ab" + good.substr(4, 8) + "\x01" + good.substr(13), "invalid flags\n"},
        {"W" + good.substr(1), "bad format\n"},
    };
    for (const auto& [bytes, message] : broken) {
        WriteFile(tmp / "broken.dat", bytes);
        for (const char* command : {"verify", "list"}) {
            r = RunTool({command, Utf8FromPath(tmp / "broken.dat")});
            EXPECT_EQ(r.code, 1) << command;
            EXPECT_EQ(r.err, message) << command;
            EXPECT_EQ(r.out, "") << command;
        }
    }

    r = RunTool({"verify", Utf8FromPath(tmp / "none.dat")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, Utf8FromPath(tmp / "none.dat") + ": not a file\n");
    r = RunTool({"verify", folder});
    EXPECT_EQ(r.code, 1);

    fs::create_symlink(tmp / "nowhere", tmp / "www/gone");
    r = RunTool({"pack", folder, bundle});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "wrapper-bundle: gone: symbolic link whose target does not exist\n");
    EXPECT_EQ(ReadFile(tmp / "app.dat"), good);

    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"pack"}, {"pack", folder}, {"list"}, {"verify", "a", "b"}, {"unpack", bundle}}) {
        r = RunTool(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err.rfind("usage: wrapper-bundle", 0), 0u);
    }
    r = RunTool({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("usage: wrapper-bundle", 0), 0u);
}

}  // namespace
