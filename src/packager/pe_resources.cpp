#include "packager/pe_resources.h"

#include <algorithm>
#include <map>

#include "packager/little_endian.h"

namespace {

constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint32_t kDirectoryResource = 2;
constexpr std::uint32_t kDirectorySecurity = 4;
constexpr std::uint32_t kDirectoryRelocations = 5;
constexpr std::uint32_t kInitializedData = 0x40;  // IMAGE_SCN_CNT_INITIALIZED_DATA
// A resource tree has three levels: type, name, language. More entries than this is not an image
// of ours, and the limit keeps a tree whose entries share subtrees from growing without end.
constexpr std::size_t kMostEntries = 100000;

std::uint32_t Read16(const std::string& bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 2)
        throw ExecutableError("the image is truncated");
    return Little16(bytes, offset);
}

std::uint32_t Read32(const std::string& bytes, std::size_t offset) {
    return Read16(bytes, offset) | (Read16(bytes, offset + 2) << 16);
}

void Write32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) bytes[offset + k] = static_cast<char>(value >> (8 * k));
}

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

struct Section {
    std::size_t header = 0;  // offset of its section header
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawPointer = 0;
    std::uint32_t characteristics = 0;
};

// The headers of a PE image and where its resources lie.
struct ImageLayout {
    std::size_t optional = 0;   // offset of the optional header
    std::size_t directory = 0;  // offset of the data directory
    std::uint32_t directoryCount = 0;
    std::uint32_t sectionAlignment = 0;
    std::uint32_t fileAlignment = 0;
    std::vector<Section> sections;  // in the order of the section table
    std::size_t resources = 0;      // index of the resource section

    std::size_t ChecksumOffset() const { return optional + 64; }
    std::size_t DirectoryEntry(std::uint32_t index) const { return directory + 8 * index; }
};

ImageLayout ReadLayout(const std::string& image) {
    if (image.size() < 64 || image[0] != 'M' || image[1] != 'Z')
        throw ExecutableError("not a Windows executable");
    const std::uint32_t pe = Read32(image, 0x3C);
    if (pe > image.size() || image.size() - pe < 24 || image.compare(pe, 4, "PE\0\0", 4) != 0)
        throw ExecutableError("not a Windows executable (no PE header)");
    ImageLayout layout;
    const std::uint32_t sectionCount = Read16(image, pe + 6);
    const std::uint32_t optionalSize = Read16(image, pe + 20);
    layout.optional = pe + 24;
    const std::uint32_t magic = Read16(image, layout.optional);
    std::size_t directoryAt = 0;
    if (magic == 0x10B) {
        directoryAt = 96;
    } else if (magic == 0x20B) {
        directoryAt = 112;
    } else {
        throw ExecutableError("not a Windows executable (unknown optional header)");
    }
    if (optionalSize < directoryAt) throw ExecutableError("the optional header is truncated");
    layout.sectionAlignment = Read32(image, layout.optional + 32);
    layout.fileAlignment = Read32(image, layout.optional + 36);
    layout.directoryCount = Read32(image, layout.optional + directoryAt - 4);
    layout.directory = layout.optional + directoryAt;
    if (layout.directoryCount <= kDirectoryRelocations ||
        directoryAt + 8 * std::uint64_t{layout.directoryCount} > optionalSize)
        throw ExecutableError("the data directory is truncated");
    const auto powerOfTwo = [](std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; };
    if (!powerOfTwo(layout.fileAlignment) || !powerOfTwo(layout.sectionAlignment) ||
        layout.fileAlignment < 512 || layout.sectionAlignment < layout.fileAlignment)
        throw ExecutableError("the image has alignments no loader accepts");

    const std::size_t table = layout.optional + optionalSize;
    if (sectionCount == 0 || table + kSectionHeaderSize * sectionCount > image.size())
        throw ExecutableError("the section table is truncated");
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        Section s;
        s.header = table + kSectionHeaderSize * i;
        s.virtualSize = Read32(image, s.header + 8);
        s.virtualAddress = Read32(image, s.header + 12);
        s.rawSize = Read32(image, s.header + 16);
        s.rawPointer = Read32(image, s.header + 20);
        s.characteristics = Read32(image, s.header + 36);
        if (s.rawSize != 0 && std::uint64_t{s.rawPointer} + s.rawSize > image.size())
            throw ExecutableError("a section lies past the end of the file");
        layout.sections.push_back(s);
    }

    const std::uint32_t resourceRva = Read32(image, layout.DirectoryEntry(kDirectoryResource));
    const auto found = std::find_if(layout.sections.begin(), layout.sections.end(),
                                    [&](const Section& s) {
                                        return resourceRva != 0 && s.virtualAddress == resourceRva;
                                    });
    if (found == layout.sections.end())
        throw ExecutableError("the image has no resource section of its own");
    layout.resources = static_cast<std::size_t>(found - layout.sections.begin());
    return layout;
}

// The bytes of the resource section, as the tree's offsets count them.
struct ResourceSection {
    const std::string& image;
    Section section;

    std::size_t Offset(std::uint64_t within, std::uint64_t length) const {
        const std::uint64_t available = std::min(section.rawSize, section.virtualSize);
        if (within > available || available - within < length)
            throw ExecutableError("the resource directory points outside its section");
        return section.rawPointer + static_cast<std::size_t>(within);
    }
};

ResourceKey ReadKey(const ResourceSection& rsrc, std::uint32_t field) {
    ResourceKey key;
    if ((field & 0x80000000u) == 0) {
        if (field > 0xFFFF) throw ExecutableError("a resource has an id past 65535");
        key.id = static_cast<std::uint16_t>(field);
        return key;
    }
    const std::uint32_t at = field & 0x7FFFFFFFu;
    const std::uint32_t length = Read16(rsrc.image, rsrc.Offset(at, 2));
    if (length == 0) throw ExecutableError("a resource has an empty name");
    const std::size_t text = rsrc.Offset(std::uint64_t{at} + 2, 2 * std::uint64_t{length});
    for (std::uint32_t i = 0; i < length; ++i)
        key.text.push_back(static_cast<char16_t>(Read16(rsrc.image, text + 2 * i)));
    return key;
}

struct ReadCounts {
    std::size_t entries = 0;
    std::uint64_t bytes = 0;
};

void ReadDirectory(const ResourceSection& rsrc, std::uint32_t at, int level, Resource& path,
                   std::vector<Resource>& out, ReadCounts& counts) {
    const std::size_t header = rsrc.Offset(at, 16);
    const std::uint64_t count =
        std::uint64_t{Read16(rsrc.image, header + 12)} + Read16(rsrc.image, header + 14);
    const std::size_t entries = rsrc.Offset(std::uint64_t{at} + 16, 8 * count);
    for (std::uint64_t i = 0; i < count; ++i) {
        if (++counts.entries > kMostEntries) throw ExecutableError("the image has too many resources");
        const std::uint32_t nameField = Read32(rsrc.image, entries + 8 * i);
        const std::uint32_t target = Read32(rsrc.image, entries + 8 * i + 4);
        const bool subdirectory = (target & 0x80000000u) != 0;
        if (subdirectory != (level < 2))
            throw ExecutableError("the resource directory is not three levels deep");
        const ResourceKey key = ReadKey(rsrc, nameField);
        if (level == 0) path.type = key;
        if (level == 1) path.name = key;
        if (subdirectory) {
            ReadDirectory(rsrc, target & 0x7FFFFFFFu, level + 1, path, out, counts);
            continue;
        }
        if (!key.text.empty()) throw ExecutableError("a resource language is a name");
        path.language = key.id;
        const std::size_t entry = rsrc.Offset(target, 16);
        const std::uint32_t rva = Read32(rsrc.image, entry);
        const std::uint32_t size = Read32(rsrc.image, entry + 4);
        path.codePage = Read32(rsrc.image, entry + 8);
        if (rva < rsrc.section.virtualAddress)
            throw ExecutableError("a resource lies outside the resource section");
        const std::size_t data = rsrc.Offset(rva - rsrc.section.virtualAddress, size);
        // Resources do not share bytes, so together they fit in their section.
        counts.bytes += size;
        if (counts.bytes > rsrc.section.rawSize)
            throw ExecutableError("the image's resources overlap");
        path.data.assign(rsrc.image, data, size);
        out.push_back(path);
    }
}

// Names before numbers; names compared as the system's lookup does, ignoring ASCII case.
bool KeyLess(const ResourceKey& a, const ResourceKey& b) {
    const bool aName = !a.text.empty(), bName = !b.text.empty();
    if (aName != bName) return aName;
    if (!aName) return a.id < b.id;
    const auto upper = [](char16_t c) {
        return static_cast<char16_t>(c >= u'a' && c <= u'z' ? c - 32 : c);
    };
    return std::lexicographical_compare(
        a.text.begin(), a.text.end(), b.text.begin(), b.text.end(),
        [&](char16_t x, char16_t y) { return upper(x) < upper(y); });
}

// The resource section's bytes for `resources` placed at `rva`: every directory first, then the
// data entries, the names, and the data, each item 8-aligned.
std::string BuildResourceSection(std::vector<Resource> resources, std::uint32_t rva) {
    std::stable_sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
        if (KeyLess(a.type, b.type)) return true;
        if (KeyLess(b.type, a.type)) return false;
        if (KeyLess(a.name, b.name)) return true;
        if (KeyLess(b.name, a.name)) return false;
        return a.language < b.language;
    });
    for (std::size_t i = 1; i < resources.size(); ++i) {
        const Resource& a = resources[i - 1];
        const Resource& b = resources[i];
        if (a.type == b.type && a.name == b.name && a.language == b.language)
            throw ExecutableError("two resources have the same type, name and language");
    }

    // The tree: [type] -> [name] -> resource indexes.
    struct NameNode {
        ResourceKey key;
        std::vector<std::size_t> leaves;
    };
    struct TypeNode {
        ResourceKey key;
        std::vector<NameNode> names;
    };
    std::vector<TypeNode> types;
    for (std::size_t i = 0; i < resources.size(); ++i) {
        const Resource& r = resources[i];
        if (types.empty() || !(types.back().key == r.type)) types.push_back({r.type, {}});
        std::vector<NameNode>& names = types.back().names;
        if (names.empty() || !(names.back().key == r.name)) names.push_back({r.name, {}});
        names.back().leaves.push_back(i);
    }

    const auto directorySize = [](std::size_t entries) { return 16 + 8 * entries; };
    std::size_t offset = directorySize(types.size());
    std::vector<std::size_t> typeAt, nameAt;
    for (const TypeNode& t : types) {
        typeAt.push_back(offset);
        offset += directorySize(t.names.size());
    }
    for (const TypeNode& t : types) {
        for (const NameNode& n : t.names) {
            nameAt.push_back(offset);
            offset += directorySize(n.leaves.size());
        }
    }
    const std::size_t entriesAt = offset;
    offset += 16 * resources.size();
    std::map<std::u16string, std::size_t> stringAt;
    std::string strings;
    const auto keyField = [&](const ResourceKey& key) -> std::uint32_t {
        if (key.text.empty()) return key.id;
        auto [it, added] = stringAt.emplace(key.text, offset + strings.size());
        if (added) {
            AppendLittle16(strings, static_cast<std::uint32_t>(key.text.size()));
            for (char16_t c : key.text) AppendLittle16(strings, c);
        }
        return 0x80000000u | static_cast<std::uint32_t>(it->second);
    };

    std::string tree;
    // Directories are written in the order their offsets were given out above.
    const auto writeDirectory = [&](const std::vector<std::pair<ResourceKey, std::uint32_t>>& entries) {
        std::size_t named = 0;
        for (const auto& entry : entries) named += entry.first.text.empty() ? 0 : 1;
        AppendLittle32(tree, 0);
        AppendLittle32(tree, 0);
        AppendLittle32(tree, 0);
        AppendLittle16(tree, static_cast<std::uint32_t>(named));
        AppendLittle16(tree, static_cast<std::uint32_t>(entries.size() - named));
        for (const auto& [key, target] : entries) {
            AppendLittle32(tree, keyField(key));
            AppendLittle32(tree, target);
        }
    };
    std::vector<std::pair<ResourceKey, std::uint32_t>> entries;
    for (std::size_t t = 0; t < types.size(); ++t)
        entries.emplace_back(types[t].key, 0x80000000u | static_cast<std::uint32_t>(typeAt[t]));
    writeDirectory(entries);
    std::size_t nameIndex = 0;
    for (const TypeNode& t : types) {
        entries.clear();
        for (const NameNode& n : t.names)
            entries.emplace_back(n.key, 0x80000000u | static_cast<std::uint32_t>(nameAt[nameIndex++]));
        writeDirectory(entries);
    }
    for (const TypeNode& t : types) {
        for (const NameNode& n : t.names) {
            entries.clear();
            for (std::size_t leaf : n.leaves) {
                ResourceKey language;
                language.id = resources[leaf].language;
                entries.emplace_back(language, static_cast<std::uint32_t>(entriesAt + 16 * leaf));
            }
            writeDirectory(entries);
        }
    }

    // The strings lie behind the data entries; the data behind the strings, 8-aligned.
    std::size_t dataAt = AlignUp(entriesAt + 16 * resources.size() + strings.size(), 8);
    std::string data;
    for (const Resource& r : resources) {
        const std::size_t at = dataAt + data.size();
        if (at + r.data.size() > 0x7FFFFFFFu) throw ExecutableError("the resources are too large");
        AppendLittle32(tree, rva + static_cast<std::uint32_t>(at));
        AppendLittle32(tree, static_cast<std::uint32_t>(r.data.size()));
        AppendLittle32(tree, r.codePage);
        AppendLittle32(tree, 0);
        data += r.data;
        data.resize(AlignUp(data.size(), 8), '\0');
    }
    tree += strings;
    tree.resize(dataAt, '\0');
    return tree + data;
}

}  // namespace

std::vector<Resource> ReadResources(const std::string& image) {
    const ImageLayout layout = ReadLayout(image);
    const ResourceSection rsrc{image, layout.sections[layout.resources]};
    std::vector<Resource> resources;
    Resource path;
    ReadCounts counts;
    ReadDirectory(rsrc, 0, 0, path, resources, counts);
    return resources;
}

std::uint32_t ImageChecksum(const std::string& image) {
    const ImageLayout layout = ReadLayout(image);
    const std::size_t skip = layout.ChecksumOffset();
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < image.size(); i += 2) {
        if (i == skip || i == skip + 2) continue;
        std::uint32_t word = static_cast<unsigned char>(image[i]);
        if (i + 1 < image.size()) word |= static_cast<std::uint32_t>(static_cast<unsigned char>(image[i + 1])) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + image.size());
}

RewrittenImage ReplaceResources(const std::string& image, const std::vector<Resource>& resources) {
    const ImageLayout layout = ReadLayout(image);
    const Section rsrc = layout.sections[layout.resources];

    // Only the base relocations may follow the resources, in the file and in memory.
    const std::uint32_t relocationRva =
        Read32(image, layout.DirectoryEntry(kDirectoryRelocations));
    std::vector<std::size_t> after;
    for (std::size_t i = 0; i < layout.sections.size(); ++i) {
        if (i == layout.resources) continue;
        const Section& s = layout.sections[i];
        const bool behindInMemory = s.virtualAddress > rsrc.virtualAddress;
        const bool behindInFile = s.rawSize != 0 && s.rawPointer >= rsrc.rawPointer;
        if (behindInMemory || behindInFile) after.push_back(i);
    }
    if (after.size() > 1 ||
        (after.size() == 1 && layout.sections[after[0]].virtualAddress != relocationRva) ||
        layout.resources + after.size() + 1 != layout.sections.size())
        throw ExecutableError(
            "its resources are not at the end of the image, as they are in WebView2Wrapper.exe");
    const bool hasRelocations = !after.empty();
    const Section relocations = hasRelocations ? layout.sections[after[0]] : Section{};
    if (hasRelocations && relocations.rawPointer < std::uint64_t{rsrc.rawPointer} + rsrc.rawSize)
        throw ExecutableError("its sections overlap");
    const Section& last = hasRelocations ? relocations : rsrc;
    const std::uint64_t end = std::uint64_t{last.rawPointer} + last.rawSize;

    // Past the last section there may be a signature (which the new image would break) and
    // nothing else.
    RewrittenImage result;
    const std::size_t security = layout.DirectoryEntry(kDirectorySecurity);
    const std::uint32_t signatureAt = Read32(image, security);
    const std::uint32_t signatureSize = Read32(image, security + 4);
    std::uint64_t trailing = end;
    if (signatureAt != 0 || signatureSize != 0) {
        if (signatureAt < end || std::uint64_t{signatureAt} + signatureSize != image.size())
            throw ExecutableError("its signature does not lie at the end of the file");
        result.signatureRemoved = true;
        trailing = image.size();
    }
    if (trailing != image.size() || (!result.signatureRemoved && end != image.size()))
        throw ExecutableError("it has data past its last section");

    const std::string section = BuildResourceSection(resources, rsrc.virtualAddress);
    const std::uint64_t rawSize = AlignUp(section.size(), layout.fileAlignment);
    if (rsrc.rawPointer + rawSize + relocations.rawSize > 0x7FFFFFFFu)
        throw ExecutableError("the new image would be too large");

    std::string out = image.substr(0, rsrc.rawPointer);
    out += section;
    out.resize(rsrc.rawPointer + rawSize, '\0');
    Write32(out, rsrc.header + 8, static_cast<std::uint32_t>(section.size()));
    Write32(out, rsrc.header + 16, static_cast<std::uint32_t>(rawSize));
    Write32(out, layout.DirectoryEntry(kDirectoryResource) + 4,
            static_cast<std::uint32_t>(section.size()));
    std::uint64_t imageEnd =
        AlignUp(std::uint64_t{rsrc.virtualAddress} + section.size(), layout.sectionAlignment);
    if (hasRelocations) {
        const std::uint32_t relocationAddress = static_cast<std::uint32_t>(imageEnd);
        const std::uint32_t relocationPointer = static_cast<std::uint32_t>(out.size());
        out.append(image, relocations.rawPointer, relocations.rawSize);
        Write32(out, relocations.header + 12, relocationAddress);
        Write32(out, relocations.header + 20, relocationPointer);
        Write32(out, layout.DirectoryEntry(kDirectoryRelocations), relocationAddress);
        imageEnd = AlignUp(std::uint64_t{relocationAddress} + relocations.virtualSize,
                           layout.sectionAlignment);
    }
    if (imageEnd > 0xFFFFFFFFu) throw ExecutableError("the new image would be too large");
    Write32(out, layout.optional + 56, static_cast<std::uint32_t>(imageEnd));  // SizeOfImage
    if (rsrc.characteristics & kInitializedData) {
        const std::uint32_t initialized = Read32(out, layout.optional + 8);
        Write32(out, layout.optional + 8,
                static_cast<std::uint32_t>(initialized - rsrc.rawSize + rawSize));
    }
    Write32(out, security, 0);
    Write32(out, security + 4, 0);
    Write32(out, layout.ChecksumOffset(), 0);
    Write32(out, layout.ChecksumOffset(), ImageChecksum(out));
    result.image = std::move(out);
    return result;
}
