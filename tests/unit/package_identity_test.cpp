// The app's identity in the packaged host: versions and exe names, the values taken from
// package.json and the command line, the resource writer on a small image laid out as our
// linker lays out the host, and damaged images and icons, which give errors; `init`'s starter
// app, written only into a new or empty folder.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/settings_check.h"
#include "packager/app_init.h"
#include "packager/app_identity.h"
#include "packager/image_codec.h"
#include "packager/package_output.h"
#include "packager/bundle_tool.h"
#include "packager/pe_resources.h"
#include "temp_files.h"

namespace {

namespace fs = std::filesystem;

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int k = 3; k >= 0; --k) value = (value << 8) | static_cast<unsigned char>(bytes[at + k]);
    return value;
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>(value >> (8 * k));
}

std::string Utf16Bytes(const std::string& ascii) {
    std::string bytes;
    for (char c : ascii) bytes += std::string{c, '\0'};
    return bytes;
}

// Offsets in SmallImage().
constexpr std::size_t kOptional = 0x58;
constexpr std::size_t kDirectory = kOptional + 112;
constexpr std::size_t kSections = kOptional + 240;
constexpr std::size_t kResources = 0x200;  // file offset of .rsrc
constexpr char kRelocations[] = "relocations!";

// An x64 image as our linker lays out the host: headers, .rsrc with an empty directory, and
// .reloc last.
std::string SmallImage() {
    std::string image(0x600, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3C, 0x40);
    image.replace(0x40, 4, std::string("PE\0\0", 4));
    Put32(image, 0x44, 0x8664 | (2u << 16));  // machine, two sections
    Put32(image, 0x54, 240 | (0x22u << 16));  // optional header size, characteristics
    Put32(image, kOptional, 0x20B);
    Put32(image, kOptional + 32, 0x1000);
    Put32(image, kOptional + 36, 0x200);
    Put32(image, kOptional + 56, 0x3000);
    Put32(image, kOptional + 60, 0x200);
    Put32(image, kOptional + 108, 16);
    Put32(image, kDirectory + 16, 0x1000);
    Put32(image, kDirectory + 20, 16);
    Put32(image, kDirectory + 40, 0x2000);
    Put32(image, kDirectory + 44, sizeof kRelocations - 1);
    const struct {
        const char* name;
        std::uint32_t size, address, pointer, flags;
    } sections[] = {{".rsrc", 16, 0x1000, kResources, 0x40000040},
                    {".reloc", sizeof kRelocations - 1, 0x2000, 0x400, 0x42000040}};
    for (std::size_t i = 0; i < 2; ++i) {
        const std::size_t at = kSections + 40 * i;
        image.replace(at, std::char_traits<char>::length(sections[i].name), sections[i].name);
        Put32(image, at + 8, sections[i].size);
        Put32(image, at + 12, sections[i].address);
        Put32(image, at + 16, 0x200);
        Put32(image, at + 20, sections[i].pointer);
        Put32(image, at + 36, sections[i].flags);
    }
    image.replace(0x400, sizeof kRelocations - 1, kRelocations);
    return image;
}

// A damaged file and a part of the error it gives.
struct BadInput {
    const char* name;
    std::string bytes;
    const char* says;
};

// The message of the `Error` that `call` throws, or "accepted".
template <typename Error, typename Call>
std::string ErrorOf(Call call) {
    try {
        call();
    } catch (const Error& e) {
        return e.what();
    }
    return "accepted";
}

std::string SolidPng(int width, int height, std::uint8_t red) {
    RgbaImage image{width, height, {}};
    for (int i = 0; i < width * height; ++i) image.pixels.insert(image.pixels.end(), {red, 0, 0, 255});
    return EncodePng(image);
}

TEST(PackageIdentity, VersionsAndExecutableNames) {
    const struct {
        const char* text;
        std::optional<std::array<std::uint16_t, 4>> numbers;
    } versions[] = {
        {"1", {{1, 0, 0, 0}}},
        {"1.2.3", {{1, 2, 3, 0}}},
        {"65535.0.1.7", {{65535, 0, 1, 7}}},
        {"2.0.0-beta.1", {{2, 0, 0, 0}}},
        {"2.0.0+build-5", {{2, 0, 0, 0}}},
        {"", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"65536", std::nullopt},
        {"1..2", std::nullopt},
        {"1.2.", std::nullopt},
        {"v1.2", std::nullopt},
        {"1.2-", std::nullopt},
        {"-beta", std::nullopt},
        {"1.2 ", std::nullopt},
        {"0000000001", std::nullopt},
    };
    for (const auto& v : versions) {
        SCOPED_TRACE(v.text);
        EXPECT_EQ(ParseVersionNumbers(v.text), v.numbers);
    }

    const struct {
        const char* name;
        const char* file;  // null: refused
    } names[] = {
        {"My Game", "My Game.exe"},
        {"game.EXE", "game.EXE"},
        {"caf\xC3\xA9.exe", "caf\xC3\xA9.exe"},
        {"v1.2", "v1.2.exe"},
        {"console", "console.exe"},
        {".exe", nullptr},
        {"a:b", nullptr},
        {"a\\b", nullptr},
        {"tab\there", nullptr},
        {"dot.", nullptr},
        {"Aux", nullptr},
        {"nul.txt", nullptr},
        {"LPT9", nullptr},
        {"bad\xC3", nullptr},
        {"x\x7F", "x\x7F.exe"},
    };
    for (const auto& n : names) {
        SCOPED_TRACE(n.name);
        std::string problem;
        const std::optional<std::string> file = ExecutableFileName(n.name, problem);
        EXPECT_EQ(file.has_value(), n.file != nullptr) << problem;
        if (file && n.file) EXPECT_EQ(*file, n.file);
        if (!file) EXPECT_FALSE(problem.empty());
    }
    std::string problem;
    EXPECT_FALSE(ExecutableFileName(std::string(197, 'a'), problem)) << "past 200 bytes";
}

TEST(PackageIdentity, FromPackageJsonAndTheCommandLine) {
    const std::string longText(1001, 'x');
    const struct {
        const char* name;
        std::string json;
        IdentityOptions options;
        // exe, product, description, company, copyright, version; or, for a refusal, its text
        std::vector<std::string> expected;
    } vectors[] = {
        {"name only", R"({"name":"a"})", {}, {"WebView2Wrapper.exe", "a", "a", "", "", "1.0.0"}},
        {"every key",
         R"j({"name":"a","version":"2.1","description":" Cats ","author":"Jane Doe <j@x> (https://x)",)j"
         R"("window":{"title":"Cat Game"}})",
         {},
         {"WebView2Wrapper.exe", "Cat Game", "Cats", "Jane Doe", "Copyright (c) Jane Doe", "2.1"}},
        {"author object, empty title", R"({"name":"a","author":{"name":"ACME"},"window":{"title":""}})",
         {},
         {"WebView2Wrapper.exe", "a", "a", "ACME", "Copyright (c) ACME", "1.0.0"}},
        {"wrong types give nothing", R"({"name":"a","author":5,"description":[],"window":3})", {},
         {"WebView2Wrapper.exe", "a", "a", "", "", "1.0.0"}},
        {"byte-order mark", "\xEF\xBB\xBF{\"name\":\"b\",\"version\":\"3.0.0-rc.2\"}", {},
         {"WebView2Wrapper.exe", "b", "b", "", "", "3.0.0-rc.2"}},
        {"options win", R"({"name":"a","version":"2.1","author":"X","window":{"title":"T"}})",
         {"Game", "", "3.0.0.7", "P \xE2\x82\xAC", "D", "C", "(c) 2026 C"},
         {"Game.exe", "P \xE2\x82\xAC", "D", "C", "(c) 2026 C", "3.0.0.7"}},
        {"version not a version", R"({"name":"a","version":"latest"})", {},
         {"version \"latest\" is not a version like 1.2.3"}},
        {"version a number", R"({"name":"a","version":1})", {},
         {"package.json: \"version\" is not a string"}},
        {"zero in a text", R"({"name":"a","description":"a\u0000b"})", {},
         {"the description contains a zero character"}},
        {"long text", R"({"name":"a","author":")" + longText + "\"}", {},
         {"the company (\"author\") is longer than 1000 characters"}},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.name);
        const SettingsCheck check = CheckSettingsText(v.json);
        ASSERT_EQ(check.verdict, SettingsVerdict::Accepted) << check.reason;
        if (v.expected.size() == 1) {
            const std::string error = ErrorOf<PackageError>(
                [&] { ResolveIdentity(v.options, v.json, check.config, "WebView2Wrapper.exe"); });
            EXPECT_NE(error.find(v.expected[0]), std::string::npos) << error;
            continue;
        }
        const AppIdentity id = ResolveIdentity(v.options, v.json, check.config, "WebView2Wrapper.exe");
        EXPECT_EQ((std::vector<std::string>{id.exeName, id.productName, id.description, id.company,
                                            id.copyright, id.version}),
                  v.expected);
    }
}

TEST(PackageIdentity, ResourcesRewrittenIntoAValidImage) {
    const std::string small = SmallImage();
    ASSERT_TRUE(ReadResources(small).empty());

    AppIdentity identity;
    identity.exeName = "Caf\xC3\xA9.exe";
    identity.productName = "Caf\xC3\xA9";
    identity.description = "A game";
    identity.version = "1.2.3";
    identity.versionNumbers = {1, 2, 3, 0};
    const std::vector<IconImage> icon = IconImagesFromFile(SolidPng(3, 2, 200), "icon.png");
    const IdentityResult first = ApplyIdentity(small, identity, icon);
    EXPECT_FALSE(first.signatureRemoved);
    const std::string& image = first.image;

    // The seven images, the group naming them and the version resource, read back.
    const std::vector<Resource> resources = ReadResources(image);
    ASSERT_EQ(resources.size(), 9u);
    std::vector<int> widths;
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(resources[i].type.id, kResourceIcon);
        EXPECT_EQ(resources[i].name.id, i + 1);
        EXPECT_EQ(resources[i].data, icon[i].bytes);
        widths.push_back(static_cast<unsigned char>(icon[i].entry[0]));
    }
    EXPECT_EQ(widths, (std::vector<int>{16, 24, 32, 48, 64, 128, 0}));
    EXPECT_EQ(icon[0].bytes.size(), 40u + 16 * 16 * 4 + 16 * 4) << "32-bit bitmap and mask";
    EXPECT_EQ(icon[6].bytes.rfind("\x89PNG", 0), 0u) << "256 pixels as PNG";
    EXPECT_EQ(resources[7].type.id, kResourceGroupIcon);
    EXPECT_EQ(resources[7].name.text, u"MAINICON");
    EXPECT_EQ(resources[7].data.size(), 6u + 14 * 7);
    EXPECT_EQ(resources[8].type.id, kResourceVersion);
    const std::string& version = resources[8].data;
    EXPECT_EQ(Get32(version, 0) & 0xFFFF, version.size());
    for (const char* text : {"VS_VERSION_INFO", "ProductName", "OriginalFilename", "1.2.3", "A game"})
        EXPECT_NE(version.find(Utf16Bytes(text)), std::string::npos) << text;
    EXPECT_NE(version.find(Utf16Bytes("Caf") + std::string("\xE9\0.\0e\0x\0e\0", 10)),
              std::string::npos);
    EXPECT_EQ(version.find(Utf16Bytes("CompanyName")), std::string::npos) << "no company known";

    // Sections, directory, image size and checksum agree; the relocations moved along whole.
    const std::uint32_t rsrcSize = Get32(image, kSections + 8);
    const std::uint32_t relocAddress = Get32(image, kSections + 40 + 12);
    const std::uint32_t relocPointer = Get32(image, kSections + 40 + 20);
    EXPECT_EQ(Get32(image, kDirectory + 20), rsrcSize);
    EXPECT_EQ(Get32(image, kSections + 16), (rsrcSize + 0x1FF) / 0x200 * 0x200);
    EXPECT_EQ(relocAddress, (0x1000 + rsrcSize + 0xFFF) / 0x1000 * 0x1000);
    EXPECT_EQ(Get32(image, kDirectory + 40), relocAddress);
    EXPECT_EQ(relocPointer, kResources + Get32(image, kSections + 16));
    EXPECT_EQ(image.substr(relocPointer, sizeof kRelocations - 1), kRelocations);
    EXPECT_EQ(image.size(), relocPointer + 0x200);
    EXPECT_EQ(Get32(image, kOptional + 56), relocAddress + 0x1000);
    EXPECT_EQ(Get32(image, kOptional + 64), ImageChecksum(image));
    EXPECT_NE(ImageChecksum(image), 0u);

    // Again over its own output: the same bytes (the old icon's images are replaced, not added).
    EXPECT_TRUE(ApplyIdentity(image, identity, icon).image == image);
    // Without an icon the images stay; a signature at the end is dropped with its directory.
    std::string signedImage = image + std::string(24, 's');
    Put32(signedImage, kDirectory + 32, static_cast<std::uint32_t>(image.size()));
    Put32(signedImage, kDirectory + 36, 24);
    const IdentityResult unsigned_ = ApplyIdentity(signedImage, identity, {});
    EXPECT_TRUE(unsigned_.signatureRemoved);
    EXPECT_TRUE(unsigned_.image == image);
}

TEST(PackageIdentity, DamagedImagesAndIconsAreRefused) {
    AppIdentity identity;
    identity.exeName = "a.exe";
    identity.version = "1";
    const std::string good = ApplyIdentity(SmallImage(), identity, {}).image;
    // In `good`'s resources: the root directory, its entry (id 16) at 16, the data entry at 0x48.
    const auto with = [&](std::size_t at, std::uint32_t value, std::string image = {}) {
        if (image.empty()) image = good;
        Put32(image, at, value);
        return image;
    };
    const BadInput images[] = {
        {"empty", "", "not a Windows executable"},
        {"text", std::string(100, 'x'), "not a Windows executable"},
        {"PE header past the end", with(0x3C, 0xFFFFFFF0), "no PE header"},
        {"cut in the section table", good.substr(0, kSections + 20), "section table is truncated"},
        {"cut in the resources", good.substr(0, kResources + 8), "past the end of the file"},
        {"unknown optional header", with(kOptional, 0x999), "unknown optional header"},
        {"file alignment 3", with(kOptional + 36, 3), "alignments"},
        {"few directory entries", with(kOptional + 108, 3), "data directory is truncated"},
        {"resources not a section", with(kDirectory + 16, 0x1800), "no resource section"},
        {"entry count past the section", with(kResources + 12, 0xFFFF0000), "points outside"},
        {"subdirectory loop", with(kResources + 20, 0x80000000), "not three levels deep"},
        {"subdirectory outside", with(kResources + 20, 0xFFFFFFF0), "points outside"},
        {"name outside", with(kResources + 16, 0x80001000), "points outside"},
        {"data below the section", with(kResources + 0x48, 0x10), "outside the resource section"},
        {"data too long", with(kResources + 0x4C, 0xFFFFFFFF), "points outside"},
        {"id past 65535", with(kResources + 16, 0x10000), "id past 65535"},
        // Layouts the writer does not handle.
        {"trailing data", good + "tail", "data past its last section"},
        {"resources first", with(kSections + 40 + 12, 0x800), "not at the end of the image"},
        {"signature elsewhere", with(kDirectory + 32, 0x10, with(kDirectory + 36, 4)),
         "signature does not lie at the end"},
    };
    for (const auto& v : images) {
        SCOPED_TRACE(v.name);
        const std::string error =
            ErrorOf<ExecutableError>([&] { ApplyIdentity(v.bytes, identity, {}); });
        EXPECT_NE(error.find(v.says), std::string::npos) << error;
    }
    const std::string png = SolidPng(2, 2, 9);
    std::string ico("\0\0\1\0\1\0", 6);
    ico += std::string("\x20\x20\0\0\1\0\x20\0", 8);
    std::string icoEntry(8, '\0');
    Put32(icoEntry, 0, static_cast<std::uint32_t>(png.size()));
    Put32(icoEntry, 4, 22);
    ico += icoEntry + png;
    const std::vector<IconImage> fromIco = IconImagesFromFile(ico, "a.ico");
    ASSERT_EQ(fromIco.size(), 1u);
    EXPECT_EQ(fromIco[0].entry, ico.substr(6, 12));
    EXPECT_EQ(fromIco[0].bytes, png);
    const BadInput icons[] = {
        {"text", "text", "not a PNG or ICO file"},
        {"PNG signature only", png.substr(0, 8), "the PNG cannot be read"},
        {"PNG cut", png.substr(0, png.size() / 2), "the PNG cannot be read"},
        {"PNG too large", SolidPng(kLargestIconSource + 1, 1, 0), "4097x1 pixels; at most 4096"},
        {"ICO of two with one entry", with(4, 2, ico).substr(0, 22), "truncated"},
        {"ICO image outside", with(6 + 12, 9999, ico), "lies outside it"},
        {"ICO image not an image", ico.substr(0, 22) + std::string(png.size(), 'x'),
         "neither a bitmap nor a PNG"},
    };
    for (const auto& v : icons) {
        SCOPED_TRACE(v.name);
        const std::string error = ErrorOf<PackageError>([&] { IconImagesFromFile(v.bytes, "icon"); });
        EXPECT_NE(error.find(v.says), std::string::npos) << error;
    }
}

// Everything under `dir`, folders included, relative with "/".
std::set<std::string> Entries(const fs::path& dir) {
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        entries.insert(entry.path().lexically_relative(dir).generic_string());
    return entries;
}

TEST(PackageInit, StarterAppOnlyInANewOrEmptyFolder) {
    unit::TempDir tmp;
    fs::create_directory(tmp / "empty");
    for (const fs::path& dir : {tmp / "new/My Game", tmp / "empty"}) {
        SCOPED_TRACE(dir.string());
        std::ostringstream out, err;
        ASSERT_EQ(RunBundleTool({"init", dir.string()}, out, err), 0) << err.str();
        EXPECT_EQ(Entries(dir), (std::set<std::string>{"package.json", "www", "www/index.html",
                                                      "www/wrapper-host.js"}));
        const SettingsCheck check = CheckSettingsText(unit::ReadFile(dir / "package.json"));
        ASSERT_EQ(check.verdict, SettingsVerdict::Accepted) << check.reason;
        EXPECT_EQ(check.config.title, dir.filename().string());
        EXPECT_NE(unit::ReadFile(dir / "www/index.html")
                      .find("import { connectHost } from \"./wrapper-host.js\""),
                  std::string::npos);
        EXPECT_EQ(unit::ReadFile(dir / "www/wrapper-host.js"),
                  unit::ReadFile(fs::path(WRAPPER_SOURCE_DIR) / "examples/hello/www/wrapper-host.js"));
    }
    // Every key the host reads, with its default; a name usable as a folder.
    const nlohmann::json starter = nlohmann::json::parse(StarterPackageJson("My <Game>: 2"));
    EXPECT_EQ(starter["name"], "my-game-2");
    EXPECT_EQ(starter["version"], "1.0.0");
    EXPECT_EQ(starter["window"]["width"], 1024);
    EXPECT_EQ(starter["settings"]["distribution-mode"], "evergreen");
    EXPECT_EQ(starter["settings"]["headers"], nlohmann::json::object());
    EXPECT_EQ(starter["messages"]["downloading"], "Downloading...");
    EXPECT_EQ(starter.size(), 9u);
    EXPECT_EQ(nlohmann::json::parse(StarterPackageJson("..."))["name"], "my-app");

    // Refused, and nothing changed: a folder with a file or an empty folder in it, a file, a link
    // to an empty folder; wrong command lines.
    unit::WriteFile(tmp / "used/notes.txt", "mine");
    fs::create_directories(tmp / "sub/www");
    unit::WriteFile(tmp / "file", "x");
    fs::create_directory_symlink(tmp / "empty-target", tmp / "link");
    fs::create_directory(tmp / "empty-target");
    const struct {
        std::vector<std::string> args;
        int code;
        const char* says;
    } refusals[] = {
        {{"init", (tmp / "used").string()}, 1, "not empty"},
        {{"init", (tmp / "sub").string()}, 1, "not empty"},
        {{"init", (tmp / "file").string()}, 1, "exists and is not a folder"},
        {{"init", (tmp / "link").string()}, 1, "is a symbolic link"},
        {{"init"}, 2, "init needs one APP_DIR"},
        {{"init", "a", "b"}, 2, "init needs one APP_DIR"},
    };
    const std::set<std::string> before = Entries(tmp.path());
    for (const auto& v : refusals) {
        SCOPED_TRACE(::testing::PrintToString(v.args));
        std::ostringstream out, err;
        EXPECT_EQ(RunBundleTool(v.args, out, err), v.code);
        EXPECT_NE(err.str().find(v.says), std::string::npos) << err.str();
        EXPECT_EQ(Entries(tmp.path()), before);
    }
}

}  // namespace
