// The app's identity in the packaged host: versions and exe names, the values taken from
// package.json and the command line, the resource writer on a small image laid out as our
// linker lays out the host, and damaged images and icons, which give errors; `init`'s starter
// app, written only into a new or empty folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/settings_check.h"
#include "packager/app_init.h"
#include "packager/app_identity.h"
#include "packager/image_codec.h"
#include "packager/package_checks.h"
#include "packager/little_endian.h"
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

// SmallImage() with `section` as the bytes of its .rsrc and the relocations moved up behind it.
std::string WithResourceSection(const std::string& section) {
    const std::string small = SmallImage();
    const auto size = static_cast<std::uint32_t>(section.size());
    const std::uint32_t raw = (size + 0x1FF) / 0x200 * 0x200;
    const std::uint32_t relocAddress = (0x1000 + raw + 0xFFF) / 0x1000 * 0x1000;
    std::string image = small.substr(0, kResources) + section;
    image.resize(kResources + raw, '\0');
    image += small.substr(0x400);
    Put32(image, kSections + 8, size);
    Put32(image, kSections + 16, raw);
    Put32(image, kDirectory + 20, size);
    Put32(image, kSections + 40 + 12, relocAddress);
    Put32(image, kSections + 40 + 20, kResources + raw);
    Put32(image, kDirectory + 40, relocAddress);
    Put32(image, kOptional + 56, relocAddress + 0x1000);
    return image;
}

// A resource tree of one type whose `leaves` names all point at the same name of `length`
// characters; each has a language directory of its own, and all share one empty data entry.
std::string SharedLongNameTree(std::uint32_t leaves, std::uint32_t length) {
    const std::uint32_t languagesAt = 24 + 16 + 8 * leaves;
    const std::uint32_t dataAt = languagesAt + 24 * leaves;
    const std::uint32_t nameAt = dataAt + 16;
    std::string tree;
    const auto directory = [&](std::uint32_t named, std::uint32_t ids) {
        for (int i = 0; i < 3; ++i) AppendLittle32(tree, 0);
        AppendLittle16(tree, named);
        AppendLittle16(tree, ids);
    };
    directory(0, 1);
    AppendLittle32(tree, 10);
    AppendLittle32(tree, 0x80000000u | 24);
    directory(leaves, 0);
    for (std::uint32_t i = 0; i < leaves; ++i) {
        AppendLittle32(tree, 0x80000000u | nameAt);
        AppendLittle32(tree, 0x80000000u | (languagesAt + 24 * i));
    }
    for (std::uint32_t i = 0; i < leaves; ++i) {
        directory(0, 1);
        AppendLittle32(tree, i);
        AppendLittle32(tree, dataAt);
    }
    AppendLittle32(tree, 0x1000 + dataAt);
    for (int i = 0; i < 3; ++i) AppendLittle32(tree, 0);
    AppendLittle16(tree, length);
    for (std::uint32_t i = 0; i < length; ++i) AppendLittle16(tree, 'N');
    return tree;
}

// One block of a version resource as read back: its header, key (ASCII), value bytes and
// children. Padding that is not zero, or a block that runs past its parent, fails the test.
struct VersionBlock {
    std::uint32_t length = 0, valueLength = 0, type = 0;
    std::string key;
    std::string value;
    std::vector<VersionBlock> children;
};

VersionBlock ReadVersionBlock(const std::string& bytes, std::size_t at, std::size_t end) {
    VersionBlock block;
    EXPECT_EQ(at % 4, 0u) << "block at " << at;
    if (end - at < 6) {
        ADD_FAILURE() << "block at " << at << " is cut";
        return block;
    }
    block.length = Little16(bytes, at);
    block.valueLength = Little16(bytes, at + 2);
    block.type = Little16(bytes, at + 4);
    EXPECT_LE(block.length, end - at) << "block at " << at;
    end = std::min(end, at + block.length);
    std::size_t p = at + 6;
    while (p + 2 <= end && Little16(bytes, p) != 0) {
        block.key.push_back(static_cast<char>(Little16(bytes, p)));
        p += 2;
    }
    const auto padding = [&](std::size_t from) {
        const std::size_t to = std::min(end, (from + 3) / 4 * 4);
        EXPECT_EQ(bytes.substr(from, to - from), std::string(to - from, '\0')) << block.key;
        return to;
    };
    p = padding(p + 2);
    const std::size_t valueBytes = block.type == 1 ? 2 * block.valueLength : block.valueLength;
    EXPECT_LE(valueBytes, end - p) << block.key;
    block.value = bytes.substr(p, std::min(valueBytes, end - p));
    p += block.value.size();
    while (p < end) {
        p = padding(p);
        if (p >= end) break;
        block.children.push_back(ReadVersionBlock(bytes, p, end));
        p += std::max<std::size_t>(block.children.back().length, 6);
    }
    return block;
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
    // The version resource, block by block: lengths, value lengths (texts in words with their
    // terminator), types, zero padding, the fixed info, and the translation naming the table.
    const std::string& version = resources[8].data;
    const VersionBlock root = ReadVersionBlock(version, 0, version.size());
    EXPECT_EQ(root.length, version.size());
    EXPECT_EQ(root.key, "VS_VERSION_INFO");
    EXPECT_EQ(root.type, 0u);
    ASSERT_EQ(root.valueLength, 52u);
    ASSERT_EQ(root.value.size(), 52u);
    const std::vector<std::uint32_t> fixed = {0xFEEF04BD, 0x00010000, 0x00010002, 0x00030000,
                                              0x00010002, 0x00030000, 0x3F,       0,
                                              0x40004,    1,          0,          0,
                                              0};
    for (std::size_t i = 0; i < fixed.size(); ++i)
        EXPECT_EQ(Little32(root.value, 4 * i), fixed[i]) << "fixed info field " << i;
    ASSERT_EQ(root.children.size(), 2u);
    const VersionBlock& stringInfo = root.children[0];
    const VersionBlock& varInfo = root.children[1];
    EXPECT_EQ(std::make_tuple(stringInfo.key, stringInfo.type, stringInfo.valueLength),
              std::make_tuple(std::string("StringFileInfo"), 1u, 0u));
    EXPECT_EQ(std::make_tuple(varInfo.key, varInfo.type, varInfo.valueLength),
              std::make_tuple(std::string("VarFileInfo"), 1u, 0u));
    ASSERT_EQ(stringInfo.children.size(), 1u);
    ASSERT_EQ(varInfo.children.size(), 1u);
    const VersionBlock& translation = varInfo.children[0];
    EXPECT_EQ(std::make_tuple(translation.key, translation.type, translation.valueLength),
              std::make_tuple(std::string("Translation"), 0u, 4u));
    ASSERT_EQ(translation.value.size(), 4u);
    char tableKey[9];
    std::snprintf(tableKey, sizeof tableKey, "%04X%04X", Little16(translation.value, 0),
                  Little16(translation.value, 2));
    EXPECT_EQ(std::string(tableKey), "040904B0");
    const VersionBlock& table = stringInfo.children[0];
    EXPECT_EQ(std::make_tuple(table.key, table.type, table.valueLength),
              std::make_tuple(std::string(tableKey), 1u, 0u));
    const std::vector<std::pair<std::string, std::string>> texts = {
        {"FileDescription", Utf16Bytes("A game")},
        {"FileVersion", Utf16Bytes("1.2.3")},
        {"InternalName", Utf16Bytes("Caf") + std::string("\xE9\0", 2)},
        {"OriginalFilename", Utf16Bytes("Caf") + std::string("\xE9\0.\0e\0x\0e\0", 10)},
        {"ProductName", Utf16Bytes("Caf") + std::string("\xE9\0", 2)},
        {"ProductVersion", Utf16Bytes("1.2.3")},
    };  // no CompanyName or LegalCopyright: no company is known
    ASSERT_EQ(table.children.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const VersionBlock& text = table.children[i];
        SCOPED_TRACE(text.key);
        EXPECT_EQ(text.key, texts[i].first);
        EXPECT_EQ(text.type, 1u);
        EXPECT_EQ(text.valueLength, texts[i].second.size() / 2 + 1) << "in words, with the zero";
        EXPECT_EQ(text.value, texts[i].second + std::string(2, '\0'));
        EXPECT_TRUE(text.children.empty());
    }

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

    // Relocations with a virtual size of 0 occupy their raw size: the image ends behind them.
    std::string unsized = SmallImage();
    Put32(unsized, kSections + 40 + 8, 0);
    const std::string moved = ApplyIdentity(unsized, identity, {}).image;
    EXPECT_EQ(Get32(moved, kOptional + 56), Get32(moved, kSections + 40 + 12) + 0x1000);

    // Names are one name whatever their case, by one rule in order and in comparison (the
    // simple uppercase mapping of UTF-16 code units): one directory entry, or a refusal when
    // the language is the same too.
    const struct {
        const char* name;
        std::u16string first, second;
        std::uint16_t secondLanguage;
        std::size_t spellings;  // distinct names read back; 0: refused
    } names[] = {
        {"ASCII, other language", u"Data", u"DATA", 2, 1},
        {"ASCII, same language", u"data", u"DATA", 1, 0},
        {"Latin-1 letter", u"caf\u00E9", u"CAF\u00C9", 2, 1},
        {"Latin-1 letter, same language", u"caf\u00E9", u"CAF\u00C9", 1, 0},
        {"Cyrillic, same language", u"\u0434\u043E\u043C", u"\u0414\u041E\u041C", 1, 0},
        {"Greek final sigma", u"\u03C2", u"\u03A3", 1, 0},
        {"sharp s has no single uppercase", u"\u00DF", u"SS", 1, 2},
        {"same spelling, other language", u"A", u"A", 2, 1},
    };
    for (const auto& v : names) {
        SCOPED_TRACE(v.name);
        std::vector<Resource> named(2);
        for (std::size_t i = 0; i < 2; ++i) {
            named[i].type.id = 10;
            named[i].name.text = i == 0 ? v.first : v.second;
            named[i].language = i == 0 ? 1 : v.secondLanguage;
            named[i].data = "x";
        }
        const std::string error =
            ErrorOf<ExecutableError>([&] { ReplaceResources(SmallImage(), named); });
        if (v.spellings == 0) {
            EXPECT_NE(error.find("same type, name and language"), std::string::npos) << error;
            continue;
        }
        ASSERT_EQ(error, "accepted");
        const std::string rewritten = ReplaceResources(SmallImage(), named).image;
        const std::vector<Resource> back = ReadResources(rewritten);
        ASSERT_EQ(back.size(), 2u);
        EXPECT_EQ(back[0].name.text == back[1].name.text ? 1u : 2u, v.spellings);
        // The type's directory of names (behind the root's) has one entry per name.
        EXPECT_EQ(Get32(rewritten, kResources + 24 + 12) & 0xFFFF, v.spellings);
    }
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
    // The same with its headers moved to `pe` and its resources starting at 0, among the
    // headers: a writer that trusts the layout writes its section table past its output.
    const auto headersAt = [&](std::uint32_t pe) {
        std::string image = good.substr(0, kResources) + std::string(0x800, '\0');
        const std::string headers = good.substr(0x40, kSections + 80 - 0x40);
        std::fill(image.begin() + 0x40, image.begin() + kSections + 80, '\0');
        image.replace(pe, headers.size(), headers);
        Put32(image, 0x3C, pe);
        const std::size_t table = pe + kSections - 0x40;
        Put32(image, table + 20, 0);
        Put32(image, table + 40 + 20, static_cast<std::uint32_t>(image.size()));
        return image + good.substr(Get32(good, kSections + 40 + 20));
    };
    // With a third section behind the relocations, as a build with debugging information has.
    const std::uint32_t relocAddress = Get32(good, kSections + 40 + 12);
    std::string debug = good + std::string(0x200, 'd');
    Put32(debug, 0x44, 0x8664 | (3u << 16));
    debug.replace(kSections + 80, 2, "/4");
    Put32(debug, kSections + 80 + 8, 0x200);
    Put32(debug, kSections + 80 + 12, relocAddress + 0x1000);
    Put32(debug, kSections + 80 + 16, 0x200);
    Put32(debug, kSections + 80 + 20, static_cast<std::uint32_t>(good.size()));
    Put32(debug, kSections + 80 + 36, 0x42000040);
    // With an icon: the root lists types 3, 14 and 16; the second shares the first's names.
    std::string shared = ApplyIdentity(SmallImage(), identity,
                                       IconImagesFromFile(SolidPng(2, 2, 9), "icon.png"))
                             .image;
    Put32(shared, kResources + 24 + 4, Get32(shared, kResources + 16 + 4));
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
        {"subdirectory loop", with(kResources + 20, 0x80000000), "reached twice"},
        {"shared subtree", shared, "reached twice"},
        {"one long name for 900 resources", WithResourceSection(SharedLongNameTree(900, 65535)),
         "names take far more room"},
        {"subdirectory outside", with(kResources + 20, 0xFFFFFFF0), "points outside"},
        {"name outside", with(kResources + 16, 0x80001000), "points outside"},
        {"data below the section", with(kResources + 0x48, 0x10), "outside the resource section"},
        {"data too long", with(kResources + 0x4C, 0xFFFFFFFF), "points outside"},
        {"id past 65535", with(kResources + 16, 0x10000), "id past 65535"},
        // Layouts the writer does not handle.
        {"resources among the headers", with(kSections + 20, 0), "overlaps the headers"},
        {"resources among the moved section table", headersAt(0x500), "overlaps the headers"},
        {"resources not aligned", with(kSections + 20, kResources + 8), "not aligned"},
        {"relocations past the end", with(kSections + 40 + 20, 0x100000), "past the end of the file"},
        {"exceptions in the relocations",
         with(kDirectory + 24, relocAddress, with(kDirectory + 28, 12)), "data directory 3"},
        {"debug directory in the resources",
         with(kDirectory + 48, 0x1010, with(kDirectory + 52, 28)), "data directory 6"},
        {"debug sections", debug, "debug sections"},
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
    // An .ico whose directory says 32x32, no planes and no bit count for a 2x2 PNG, and 48x48
    // for a 32-bit 16x16 bitmap and a 4-bit 1x1 one: the group gets each image's own values.
    const std::string bitmap32 = IconImagesFromFile(SolidPng(16, 16, 9), "icon.png")[0].bytes;
    std::string bitmap4(112, '\0');
    for (auto [at, value] : {std::pair{0, 40}, {4, 1}, {8, 2}, {12, 1 | (4 << 16)}})
        Put32(bitmap4, at, static_cast<std::uint32_t>(value));
    const auto icoOf = [&](const std::vector<std::string>& images, const std::string& declared) {
        std::string ico("\0\0\1\0", 4);
        AppendLittle16(ico, static_cast<std::uint32_t>(images.size()));
        std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
        for (const std::string& image : images) {
            ico += declared;
            AppendLittle32(ico, static_cast<std::uint32_t>(image.size()));
            AppendLittle32(ico, offset);
            offset += static_cast<std::uint32_t>(image.size());
        }
        for (const std::string& image : images) ico += image;
        return ico;
    };
    const std::string ico = icoOf({png}, std::string("\x20\x20\0\0\1\0\x20\0", 8));
    const std::string declared("\x30\x30\0\0\0\0\0\0", 8);
    const std::vector<IconImage> fromIco =
        IconImagesFromFile(icoOf({png, bitmap32, bitmap4}, declared), "a.ico");
    ASSERT_EQ(fromIco.size(), 3u);
    const auto entry = [](std::string head, std::size_t bytes) {
        AppendLittle32(head, static_cast<std::uint32_t>(bytes));
        return head;
    };
    EXPECT_EQ(fromIco[0].entry, entry(std::string("\2\2\0\0\1\0\x20\0", 8), png.size()));
    EXPECT_EQ(fromIco[1].entry, entry(std::string("\x10\x10\0\0\1\0\x20\0", 8), bitmap32.size()));
    EXPECT_EQ(fromIco[2].entry, entry(std::string("\1\1\x10\0\1\0\4\0", 8), 112));
    EXPECT_EQ(fromIco[0].bytes, png);
    EXPECT_EQ(fromIco[1].bytes, bitmap32);
    // An empty IDAT chunk before the image data is no data: the picture decodes the same.
    std::string emptyChunk = png;
    emptyChunk.insert(png.find("IDAT") - 4, std::string("\0\0\0\0IDAT\x35\xAF\x06\x1E", 12));
    EXPECT_EQ(IconImagesFromFile(emptyChunk, "icon.png")[0].bytes,
              IconImagesFromFile(png, "icon.png")[0].bytes);
    const BadInput icons[] = {
        {"text", "text", "not a PNG or ICO file"},
        {"PNG signature only", png.substr(0, 8), "the PNG cannot be read"},
        {"PNG cut", png.substr(0, png.size() / 2), "the PNG cannot be read"},
        {"PNG too large", SolidPng(kLargestIconSource + 1, 1, 0), "4097x1 pixels; at most 4096"},
        {"ICO of two with one entry", with(4, 2, ico).substr(0, 22), "truncated"},
        {"ICO image outside", with(6 + 12, 9999, ico), "lies outside it"},
        {"ICO image not an image", ico.substr(0, 22) + std::string(png.size(), 'x'),
         "neither a bitmap nor a PNG"},
        {"ICO bitmap cut short", icoOf({bitmap4.substr(0, 100)}, declared), "is cut short"},
        {"ICO bitmap of 3 bits", icoOf({with(12, 1 | (3 << 16), bitmap4)}, declared),
         "neither a bitmap nor a PNG"},
        {"ICO bitmap of no width", icoOf({with(4, 0, bitmap4)}, declared), "neither a bitmap"},
        {"ICO PNG of 257 pixels", icoOf({SolidPng(257, 1, 0)}, declared),
         "larger than 256 pixels"},
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
        EXPECT_EQ(Entries(dir),
                  (std::set<std::string>{"package.json", "www", "www/index.html", "www/main.js",
                                         "www/style.css", "www/wrapper-host.js"}));
        const SettingsCheck check = CheckSettingsText(unit::ReadFile(dir / "package.json"));
        ASSERT_EQ(check.verdict, SettingsVerdict::Accepted) << check.reason;
        EXPECT_EQ(check.config.title, dir.filename().string());
        // No inline script or style: a Content-Security-Policy without 'unsafe-inline' lets the
        // page run (the packager would warn otherwise).
        const std::string page = unit::ReadFile(dir / "www/index.html");
        EXPECT_NE(page.find("<script type=\"module\" src=\"main.js\"></script>"), std::string::npos);
        EXPECT_EQ(page.find("<style"), std::string::npos);
        AppConfig strict = check.config;
        strict.responseHeaders = {{"Content-Security-Policy", "default-src 'self'"}};
        EXPECT_EQ(InlineScriptWarning(strict, page), "");
        EXPECT_NE(unit::ReadFile(dir / "www/main.js")
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
    EXPECT_EQ(starter["chromium-args"], "--autoplay-policy=no-user-gesture-required");
    EXPECT_EQ(starter["settings"]["distribution-mode"], "evergreen");
    EXPECT_EQ(starter["settings"]["headers"], nlohmann::json::object());
    EXPECT_EQ(starter["messages"]["downloading"], "Downloading...");
    EXPECT_EQ(starter.size(), 9u);
    EXPECT_EQ(nlohmann::json::parse(StarterPackageJson("..."))["name"], "my-app");
    EXPECT_EQ(nlohmann::json::parse(StarterPackageJson("CON"))["name"], "my-app");
    EXPECT_EQ(nlohmann::json::parse(StarterPackageJson("Lpt1.game"))["name"], "my-app");

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
