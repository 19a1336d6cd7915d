// The package zip, read back with Info-ZIP's unzip: every file under its root folder with its
// exact bytes, equal folders give equal archives, UTF-8 names are flagged as such, and an entry
// past 4 GiB (a sparse file: no disk, but 4 GiB to deflate and to check) gets zip64 sizes.
#include <gtest/gtest.h>

#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bundle/bundle_writer.h"
#include "packager/package_zip.h"
#include "temp_files.h"

namespace fs = std::filesystem;

namespace {

using unit::ReadFile;
using unit::TempDir;
using unit::WriteFile;

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

// Runs a shell command; returns its standard output, or fails the test.
std::string Shell(const std::string& command) {
    struct PipeClose {
        void operator()(std::FILE* pipe) const { pclose(pipe); }
    };
    std::unique_ptr<std::FILE, PipeClose> pipe(popen(command.c_str(), "r"));
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return {};
    }
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        output.append(buffer, n);
    const int status = pclose(pipe.release());
    EXPECT_EQ(status, 0) << command << "\n" << output;
    return output;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::uint16_t Le16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

TEST(PackageZip, EveryFileUnderItsRootWithItsBytes) {
    TempDir tmp;
    std::mt19937 engine(3);
    std::string random((3 << 20) + 5, '\0');
    for (char& c : random) c = static_cast<char>(engine());
    const std::vector<std::pair<std::string, std::string>> files = {
        // In the byte-wise order of their names, which is the order of the entries.
        {"WebView2Wrapper.exe", "MZ host"},   {"empty.txt", ""},
        {"package.json", "{\"name\":\"z\"}"}, {"www/big.bin", random},
        {"www/sub dir/a b.js", "1;"},         {"\xC3\xA9t\xC3\xA9/\xE2\x82\xAC.txt", "euro"},
    };
    for (const auto& [name, content] : files) WriteFile(tmp / ("Game/" + name), content);

    const fs::path zip = tmp / "Game.zip";
    EXPECT_EQ(WriteFolderZip(tmp / "Game", "Game", zip), files.size());
    EXPECT_FALSE(fs::exists(tmp / "Game.zip.partial"));

    std::vector<std::string> expectedNames;
    for (const auto& file : files) expectedNames.push_back("Game/" + file.first);
    EXPECT_EQ(Lines(Shell("LC_ALL=C.UTF-8 unzip -Z1 " + Quote(zip))), expectedNames);
    Shell("unzip -tq " + Quote(zip));
    fs::create_directories(tmp / "x");
    Shell("LC_ALL=C.UTF-8 unzip -q " + Quote(zip) + " -d " + Quote(tmp / "x"));
    for (const auto& [name, content] : files) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(ReadFile(tmp / ("x/Game/" + name)) == content);
    }

    // Only the non-ASCII name carries the UTF-8 flag (bit 11); its entry comes last.
    const std::string bytes = ReadFile(zip);
    ASSERT_EQ(bytes.compare(0, 4, "PK\x03\x04"), 0);
    EXPECT_EQ(Le16(bytes, 6) & 0x0800, 0);
    const std::size_t central = bytes.rfind("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    EXPECT_NE(Le16(bytes, central + 8) & 0x0800, 0);
    const std::string lastName = "Game/\xC3\xA9t\xC3\xA9/\xE2\x82\xAC.txt";
    EXPECT_EQ(bytes.compare(central + 46, lastName.size(), lastName), 0);

    // The same folder again, with other dates and modes on disk: the same bytes.
    fs::last_write_time(tmp / "Game/package.json",
                        fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
    fs::permissions(tmp / "Game/www/big.bin", fs::perms::owner_all);
    ASSERT_EQ(WriteFolderZip(tmp / "Game", "Game", tmp / "again.zip"), files.size());
    EXPECT_TRUE(ReadFile(tmp / "again.zip") == bytes) << "zip bytes differ";

    // Without a UTF-8 locale in the environment the names come out the same.
    ASSERT_EQ(setenv("LC_ALL", "C", 1), 0);
    ASSERT_EQ(WriteFolderZip(tmp / "Game", "Game", tmp / "c-locale.zip"), files.size());
    unsetenv("LC_ALL");
    EXPECT_TRUE(ReadFile(tmp / "c-locale.zip") == bytes) << "zip bytes differ";
}

TEST(PackageZip, EntryPast4GiBGetsZip64Sizes) {
    TempDir tmp;
    const std::uint64_t size = (std::uint64_t{4} << 30) + 4096;
    const fs::path big = tmp / "App/www/big.bin";
    WriteFile(tmp / "App/package.json", "{\"name\":\"big\"}");
    WriteFile(big, "");
    fs::resize_file(big, size - 5);  // sparse: no disk is used for the zeros
    {
        std::ofstream tail(big, std::ios::binary | std::ios::app);
        tail << "tail!";
    }
    ASSERT_EQ(fs::file_size(big), size);

    const fs::path zip = tmp / "App.zip";
    ASSERT_EQ(WriteFolderZip(tmp / "App", "App", zip), 2u);
    EXPECT_LT(fs::file_size(zip), std::uintmax_t{64} << 20);

    // unzip reads the sizes from the zip64 records and checks the CRC of all 4 GiB.
    const std::vector<std::string> listing = Lines(Shell("unzip -Zl " + Quote(zip)));
    bool listed = false;
    for (const std::string& line : listing) {
        if (line.find("App/www/big.bin") != std::string::npos) {
            listed = true;
            EXPECT_NE(line.find(" " + std::to_string(size) + " "), std::string::npos) << line;
        }
    }
    EXPECT_TRUE(listed) << Shell("unzip -Zl " + Quote(zip));
    Shell("unzip -tq " + Quote(zip));

    // The entry's central record (its name's last appearance) asks for zip64 readers.
    const std::string bytes = ReadFile(zip);
    const std::size_t name = bytes.rfind("App/www/big.bin");
    ASSERT_NE(name, std::string::npos);
    ASSERT_GE(name, 46u);
    ASSERT_EQ(bytes.compare(name - 46, 4, "PK\x01\x02"), 0);
    EXPECT_EQ(Le16(bytes, name - 46 + 6), 45) << "version needed: zip64";
}

}  // namespace
