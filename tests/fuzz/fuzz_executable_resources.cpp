// The packager's readers and writer of untrusted files. Any bytes as an executable image either
// give an ExecutableError or resources that write back into an image whose tree reads back the
// same, whose section table, image size and data directory agree with what was written and whose
// checksum field holds ImageChecksum; the app's identity writes into it the same way. Any bytes as
// an icon file give images or a PackageError, and those images go into a small host as MAINICON;
// any bytes as lines of identity texts give an identity or a PackageError, and that identity's
// version resource goes into the host unchanged. Never a crash or a read out of bounds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "config/app_config.h"
#include "packager/app_identity.h"
#include "packager/little_endian.h"
#include "packager/package_output.h"
#include "packager/pe_resources.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_executable_resources: %s\n", what);
    std::abort();
}

void Set32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>(value >> (8 * k));
}

// A host as small as the writer takes: PE32+ headers, an empty .rsrc at 0x200 (RVA 0x1000) and a
// .reloc at 0x400 (RVA 0x2000).
const std::string& SmallHost() {
    static const std::string host = [] {
        std::string image(0x600, '\0');
        image.replace(0, 2, "MZ");
        image.replace(0x80, 4, std::string("PE\0\0", 4));
        const std::size_t optional = 0x98, table = optional + 240;
        const std::pair<std::size_t, std::uint32_t> fields[] = {{0x3C, 0x80},
                                                                {0x84, 0x8664 | (2u << 16)},
                                                                {0x94, 240 | (0x22u << 16)},
                                                                {optional, 0x20B},
                                                                {optional + 32, 0x1000},
                                                                {optional + 36, 0x200},
                                                                {optional + 56, 0x3000},
                                                                {optional + 60, 0x200},
                                                                {optional + 108, 16},
                                                                {optional + 128, 0x1000},
                                                                {optional + 132, 16},
                                                                {optional + 152, 0x2000},
                                                                {optional + 156, 8},
                                                                {table + 8, 16},
                                                                {table + 12, 0x1000},
                                                                {table + 16, 0x200},
                                                                {table + 20, 0x200},
                                                                {table + 36, 0x40000040},
                                                                {table + 48, 8},
                                                                {table + 52, 0x2000},
                                                                {table + 56, 0x200},
                                                                {table + 60, 0x400},
                                                                {table + 76, 0x42000040},
                                                                {0x400, 0x1000},
                                                                {0x404, 8}};
        for (const auto& [at, value] : fields) Set32(image, at, value);
        image.replace(table, 5, ".rsrc");
        image.replace(table + 40, 6, ".reloc");
        return image;
    }();
    return host;
}

// `out`, written from an image that held `resources`: the tree reads back the same (in the order
// of a resource directory, names compared as one when they differ only in case); the sections
// lie aligned within the file behind the headers; the image size covers every section and ends
// at the last; the resource directory entry names the resource section; the checksum is right.
std::vector<Resource> ReadBack(const std::string& out) {
    try {
        return ReadResources(out);
    } catch (const ExecutableError&) {
        Fail("the rewritten image cannot be read back");
    }
}

void CheckRewritten(const std::string& out, std::vector<Resource> resources) {
    const std::vector<Resource> again = ReadBack(out);
    std::stable_sort(resources.begin(), resources.end(), ResourceLess);
    if (again.size() != resources.size()) Fail("a different number of resources read back");
    for (std::size_t i = 0; i < again.size(); ++i) {
        const Resource& a = again[i];
        const Resource& r = resources[i];
        if (!SameResourceKey(a.type, r.type) || !SameResourceKey(a.name, r.name) ||
            a.language != r.language || a.codePage != r.codePage || a.data != r.data)
            Fail("a resource read back differs");
    }
    const std::size_t pe = Little32(out, 0x3C), optional = pe + 24;
    const std::uint32_t count = Little16(out, pe + 6);
    const std::size_t table = optional + Little16(out, pe + 20);
    const std::uint32_t sectionAlignment = Little32(out, optional + 32);
    const std::uint32_t fileAlignment = Little32(out, optional + 36);
    const std::uint32_t imageSize = Little32(out, optional + 56);
    const std::uint32_t headersSize = Little32(out, optional + 60);
    const std::size_t directory = optional + (Little16(out, optional) == 0x20B ? 112 : 96);
    const std::uint32_t resourceRva = Little32(out, directory + 16);
    std::uint64_t highest = 0, fileEnd = 0, lastAddress = 0;
    bool resourceSection = false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = table + 40 * i;
        const std::uint32_t virtualSize = Little32(out, at + 8), address = Little32(out, at + 12);
        const std::uint32_t rawSize = Little32(out, at + 16), pointer = Little32(out, at + 20);
        if (rawSize != 0 && (pointer % fileAlignment != 0 || pointer < headersSize ||
                             std::uint64_t{pointer} + rawSize > out.size()))
            Fail("a section lies outside its place in the file");
        const std::uint64_t end = std::uint64_t{address} + std::max(virtualSize, rawSize);
        if (address >= lastAddress) {
            lastAddress = address;
            highest = end;
        }
        if (rawSize != 0)
            fileEnd = std::max<std::uint64_t>(fileEnd, std::uint64_t{pointer} + rawSize);
        if (end > imageSize) Fail("a section ends past the image size");
        if (address == resourceRva) {
            resourceSection = true;
            if (Little32(out, directory + 20) != virtualSize)
                Fail("the resource directory entry and the section disagree");
        }
    }
    if (!resourceSection) Fail("the resource directory entry names no section");
    if (imageSize % sectionAlignment != 0 ||
        imageSize != (highest + sectionAlignment - 1) / sectionAlignment * sectionAlignment)
        Fail("the image size does not end at the last section");
    if (fileEnd != out.size()) Fail("the file does not end with its last section");
    if (Little32(out, directory + 32) != 0 || Little32(out, directory + 36) != 0)
        Fail("a signature directory is left");
    if (Little32(out, optional + 64) != ImageChecksum(out)) Fail("the checksum is wrong");
}

// `host` with `identity` and `icon`, checked as a rewrite whose version resource (and MAINICON,
// with an icon) are what was asked for.
void CheckIdentity(const std::string& host, const AppIdentity& identity,
                   const std::vector<IconImage>& icon) {
    IdentityResult result;
    try {
        result = ApplyIdentity(host, identity, icon);
    } catch (const ExecutableError&) {
        return;  // a host the writer refuses
    }
    const std::vector<Resource> written = ReadBack(result.image);
    CheckRewritten(result.image, written);
    const std::string version = BuildVersionResource(identity);
    std::size_t versions = 0, images = 0;
    std::string group;
    for (const Resource& r : written) {
        versions += r.type.id == kResourceVersion && r.type.text.empty();
        if (r.type.id == kResourceVersion && r.type.text.empty() && r.data != version)
            Fail("the version resource differs from the identity's");
        if (r.type.id == kResourceGroupIcon && r.name.text == u"MAINICON") group = r.data;
    }
    if (versions != 1) Fail("not one version resource");
    if (icon.empty()) return;
    if (group.size() != 6 + 14 * icon.size()) Fail("MAINICON does not list the images");
    for (std::size_t i = 0; i < icon.size(); ++i) {
        const std::size_t at = 6 + 14 * i;
        if (group.compare(at, 12, icon[i].entry) != 0) Fail("a MAINICON entry differs");
        const std::uint32_t id = Little16(group, at + 12);
        images += std::count_if(written.begin(), written.end(), [&](const Resource& r) {
            return r.type.id == kResourceIcon && r.name.text.empty() && r.name.id == id &&
                   r.data == icon[i].bytes;
        });
    }
    if (images != icon.size()) Fail("MAINICON lists images that are not there");
}

AppIdentity FixedIdentity() {
    return {.exeName = "Game.exe",
            .productName = "Game",
            .description = "A game",
            .version = "1.2.3",
            .versionNumbers = {1, 2, 3, 0}};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // As an executable image.
    std::vector<Resource> resources;
    bool readable = true;
    try {
        resources = ReadResources(bytes);
    } catch (const ExecutableError&) {
        readable = false;
    }
    if (readable) {
        try {
            CheckRewritten(ReplaceResources(bytes, resources).image, resources);
        } catch (const ExecutableError&) {
        }
        CheckIdentity(bytes, FixedIdentity(), {});
    }
    try {
        CheckRewritten(ReplaceResources(bytes, {}).image, {});
    } catch (const ExecutableError&) {
    }

    // As an icon file (large pictures cost time, not coverage).
    if (size < 4096) {
        try {
            CheckIdentity(SmallHost(), FixedIdentity(), IconImagesFromFile(bytes, "icon"));
        } catch (const PackageError&) {
        }
    }

    // As lines of identity texts: version, product name, description, company, copyright, name.
    std::istringstream lines(bytes);
    IdentityOptions options;
    for (std::string* field : {&options.version, &options.productName, &options.description,
                               &options.company, &options.copyright, &options.exeName})
        if (!std::getline(lines, *field)) break;
    try {
        CheckIdentity(SmallHost(), ResolveIdentity(options, "{}", AppConfig{}, "Game.exe"), {});
    } catch (const PackageError&) {
    }
    return 0;
}
