#include "packager/pe_resources.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

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
// What reading a tree may cost in names and data, as a multiple of its section's size (plus a
// little for small sections): a name is stored once but copied into every resource under it.
constexpr std::uint64_t kReadCostFactor = 16;
constexpr std::uint64_t kReadCostAllowance = 65536;
constexpr std::uint64_t kResourceCost = 128;  // a resource's own fields, charged whatever it holds

// The most a read of a resource section of `bytes` may cost.
std::uint64_t ReadBudget(std::uint64_t bytes) {
    return kReadCostFactor * bytes + kReadCostAllowance;
}
constexpr std::uint32_t kDiscardable = 0x02000000;  // IMAGE_SCN_MEM_DISCARDABLE

constexpr const char* kDirectoryNames[] = {"export table",
                                           "import table",
                                           "resource table",
                                           "exception table",
                                           "security",
                                           "base relocation table",
                                           "debug data",
                                           "architecture",
                                           "global pointer",
                                           "TLS table",
                                           "load configuration",
                                           "bound import table",
                                           "import address table",
                                           "delay import descriptors",
                                           "CLR runtime header",
                                           "reserved"};

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
    std::string name;  // up to 8 bytes; "/N" names a long name in the symbol table's strings

    // Where the loader maps it: its virtual size, or its raw size when that is 0.
    std::uint64_t MappedEnd() const {
        return std::uint64_t{virtualAddress} + (virtualSize != 0 ? virtualSize : rawSize);
    }
    bool IsDebug() const {
        return (characteristics & kDiscardable) != 0 &&
               (name.rfind(".debug", 0) == 0 || name.rfind('/', 0) == 0);
    }
};

// The headers of a PE image and where its resources lie.
struct ImageLayout {
    std::size_t optional = 0;   // offset of the optional header
    std::size_t directory = 0;  // offset of the data directory
    std::uint32_t directoryCount = 0;
    std::uint32_t sectionAlignment = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t symbolTable = 0;  // file offset of a COFF symbol table, 0 for none
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
    layout.symbolTable = Read32(image, pe + 12);
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
    // Section data starts behind the headers (as the optional header counts them, and at least
    // behind the section table), aligned, and ends within the file: the writer copies the
    // headers whole and writes into the section table.
    const std::uint64_t headersEnd = std::max<std::uint64_t>(
        Read32(image, layout.optional + 60), table + kSectionHeaderSize * sectionCount);
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        Section s;
        s.header = table + kSectionHeaderSize * i;
        s.name = image.substr(s.header, 8);
        s.name.resize(std::min(s.name.find('\0'), s.name.size()));
        s.virtualSize = Read32(image, s.header + 8);
        s.virtualAddress = Read32(image, s.header + 12);
        s.rawSize = Read32(image, s.header + 16);
        s.rawPointer = Read32(image, s.header + 20);
        s.characteristics = Read32(image, s.header + 36);
        if (s.rawSize != 0) {
            if (std::uint64_t{s.rawPointer} + s.rawSize > image.size())
                throw ExecutableError("a section lies past the end of the file");
            if (s.rawPointer % layout.fileAlignment != 0)
                throw ExecutableError("a section's data is not aligned to the file alignment");
            if (s.rawPointer < headersEnd)
                throw ExecutableError("a section overlaps the headers or the section table");
        }
        layout.sections.push_back(s);
    }

    const std::uint32_t resourceRva = Read32(image, layout.DirectoryEntry(kDirectoryResource));
    const auto found = std::find_if(
        layout.sections.begin(), layout.sections.end(),
        [&](const Section& s) { return resourceRva != 0 && s.virtualAddress == resourceRva; });
    if (found == layout.sections.end())
        throw ExecutableError("the image has no resource section of its own");
    if (found->rawSize == 0) throw ExecutableError("the resource section has no data in the file");
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

// What a read has visited and what it has cost so far.
// What reading one resource costs beyond the names in its directory entries: its data and the
// copies of its type's and name's texts.
std::uint64_t LeafCost(const Resource& resource, std::uint64_t dataSize) {
    return kResourceCost + dataSize +
           2 * std::uint64_t{resource.type.text.size() + resource.name.text.size()};
}

struct ReadState {
    std::size_t entries = 0;
    std::uint64_t dataBytes = 0;
    std::uint64_t cost = 0;  // bytes of names read and of the resources built
    std::uint64_t budget = 0;
    std::set<std::uint32_t> directories;

    void Charge(std::uint64_t bytes) {
        cost += bytes;
        if (cost > budget)
            throw ExecutableError(
                "the resource names take far more room than the section that holds them");
    }
};

ResourceKey ReadKey(const ResourceSection& rsrc, std::uint32_t field, ReadState& state) {
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
    state.Charge(2 * std::uint64_t{length});
    key.text.resize(length);
    for (std::uint32_t i = 0; i < length; ++i)
        key.text[i] = static_cast<char16_t>(Little16(rsrc.image, text + 2 * i));
    return key;
}

void ReadDirectory(const ResourceSection& rsrc, std::uint32_t at, int level, Resource& path,
                   std::vector<Resource>& out, ReadState& state) {
    // Every directory belongs to one entry: one reached again is a cycle or a shared subtree.
    if (!state.directories.insert(at).second)
        throw ExecutableError("the resource directory is damaged: a directory is reached twice");
    const std::size_t header = rsrc.Offset(at, 16);
    const std::uint64_t count =
        std::uint64_t{Read16(rsrc.image, header + 12)} + Read16(rsrc.image, header + 14);
    const std::size_t entries = rsrc.Offset(std::uint64_t{at} + 16, 8 * count);
    for (std::uint64_t i = 0; i < count; ++i) {
        if (++state.entries > kMostEntries)
            throw ExecutableError("the image has too many resources");
        const std::uint32_t nameField = Read32(rsrc.image, entries + 8 * i);
        const std::uint32_t target = Read32(rsrc.image, entries + 8 * i + 4);
        const bool subdirectory = (target & 0x80000000u) != 0;
        if (subdirectory != (level < 2))
            throw ExecutableError("the resource directory is not three levels deep");
        ResourceKey key = ReadKey(rsrc, nameField, state);
        if (level == 0) path.type = std::move(key);
        if (level == 1) path.name = std::move(key);
        if (subdirectory) {
            ReadDirectory(rsrc, target & 0x7FFFFFFFu, level + 1, path, out, state);
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
        state.dataBytes += size;
        if (state.dataBytes > rsrc.section.rawSize)
            throw ExecutableError("the image's resources overlap");
        // The resource built here holds copies of its type's and name's texts.
        state.Charge(LeafCost(path, size));
        path.data.assign(rsrc.image, data, size);
        out.push_back(path);
    }
}

// The simple uppercase mapping of Unicode for UTF-16 code units (one unit to one unit; letters
// whose uppercase takes more, such as U+00DF, stay as they are), as runs {first, last, step,
// difference}: every `step`th unit from `first` to `last` maps to itself plus `difference`.
// Taken from the Unicode Character Database, version 14.
struct CaseRun {
    std::uint16_t first, last;
    std::uint8_t step;
    std::int32_t difference;
};
constexpr CaseRun kUppercaseRuns[] = {
    {0x0061, 0x007A, 1, -32},    {0x00B5, 0x00B5, 1, 743},   {0x00E0, 0x00F6, 1, -32},
    {0x00F8, 0x00FE, 1, -32},    {0x00FF, 0x00FF, 1, 121},   {0x0101, 0x012F, 2, -1},
    {0x0131, 0x0131, 1, -232},   {0x0133, 0x0137, 2, -1},    {0x013A, 0x0148, 2, -1},
    {0x014B, 0x0177, 2, -1},     {0x017A, 0x017E, 2, -1},    {0x017F, 0x017F, 1, -300},
    {0x0180, 0x0180, 1, 195},    {0x0183, 0x0185, 2, -1},    {0x0188, 0x0188, 1, -1},
    {0x018C, 0x018C, 1, -1},     {0x0192, 0x0192, 1, -1},    {0x0195, 0x0195, 1, 97},
    {0x0199, 0x0199, 1, -1},     {0x019A, 0x019A, 1, 163},   {0x019E, 0x019E, 1, 130},
    {0x01A1, 0x01A5, 2, -1},     {0x01A8, 0x01A8, 1, -1},    {0x01AD, 0x01AD, 1, -1},
    {0x01B0, 0x01B0, 1, -1},     {0x01B4, 0x01B6, 2, -1},    {0x01B9, 0x01B9, 1, -1},
    {0x01BD, 0x01BD, 1, -1},     {0x01BF, 0x01BF, 1, 56},    {0x01C5, 0x01C5, 1, -1},
    {0x01C6, 0x01C6, 1, -2},     {0x01C8, 0x01C8, 1, -1},    {0x01C9, 0x01C9, 1, -2},
    {0x01CB, 0x01CB, 1, -1},     {0x01CC, 0x01CC, 1, -2},    {0x01CE, 0x01DC, 2, -1},
    {0x01DD, 0x01DD, 1, -79},    {0x01DF, 0x01EF, 2, -1},    {0x01F2, 0x01F2, 1, -1},
    {0x01F3, 0x01F3, 1, -2},     {0x01F5, 0x01F5, 1, -1},    {0x01F9, 0x021F, 2, -1},
    {0x0223, 0x0233, 2, -1},     {0x023C, 0x023C, 1, -1},    {0x023F, 0x0240, 1, 10815},
    {0x0242, 0x0242, 1, -1},     {0x0247, 0x024F, 2, -1},    {0x0250, 0x0250, 1, 10783},
    {0x0251, 0x0251, 1, 10780},  {0x0252, 0x0252, 1, 10782}, {0x0253, 0x0253, 1, -210},
    {0x0254, 0x0254, 1, -206},   {0x0256, 0x0257, 1, -205},  {0x0259, 0x0259, 1, -202},
    {0x025B, 0x025B, 1, -203},   {0x025C, 0x025C, 1, 42319}, {0x0260, 0x0260, 1, -205},
    {0x0261, 0x0261, 1, 42315},  {0x0263, 0x0263, 1, -207},  {0x0265, 0x0265, 1, 42280},
    {0x0266, 0x0266, 1, 42308},  {0x0268, 0x0268, 1, -209},  {0x0269, 0x0269, 1, -211},
    {0x026A, 0x026A, 1, 42308},  {0x026B, 0x026B, 1, 10743}, {0x026C, 0x026C, 1, 42305},
    {0x026F, 0x026F, 1, -211},   {0x0271, 0x0271, 1, 10749}, {0x0272, 0x0272, 1, -213},
    {0x0275, 0x0275, 1, -214},   {0x027D, 0x027D, 1, 10727}, {0x0280, 0x0280, 1, -218},
    {0x0282, 0x0282, 1, 42307},  {0x0283, 0x0283, 1, -218},  {0x0287, 0x0287, 1, 42282},
    {0x0288, 0x0288, 1, -218},   {0x0289, 0x0289, 1, -69},   {0x028A, 0x028B, 1, -217},
    {0x028C, 0x028C, 1, -71},    {0x0292, 0x0292, 1, -219},  {0x029D, 0x029D, 1, 42261},
    {0x029E, 0x029E, 1, 42258},  {0x0345, 0x0345, 1, 84},    {0x0371, 0x0373, 2, -1},
    {0x0377, 0x0377, 1, -1},     {0x037B, 0x037D, 1, 130},   {0x03AC, 0x03AC, 1, -38},
    {0x03AD, 0x03AF, 1, -37},    {0x03B1, 0x03C1, 1, -32},   {0x03C2, 0x03C2, 1, -31},
    {0x03C3, 0x03CB, 1, -32},    {0x03CC, 0x03CC, 1, -64},   {0x03CD, 0x03CE, 1, -63},
    {0x03D0, 0x03D0, 1, -62},    {0x03D1, 0x03D1, 1, -57},   {0x03D5, 0x03D5, 1, -47},
    {0x03D6, 0x03D6, 1, -54},    {0x03D7, 0x03D7, 1, -8},    {0x03D9, 0x03EF, 2, -1},
    {0x03F0, 0x03F0, 1, -86},    {0x03F1, 0x03F1, 1, -80},   {0x03F2, 0x03F2, 1, 7},
    {0x03F3, 0x03F3, 1, -116},   {0x03F5, 0x03F5, 1, -96},   {0x03F8, 0x03F8, 1, -1},
    {0x03FB, 0x03FB, 1, -1},     {0x0430, 0x044F, 1, -32},   {0x0450, 0x045F, 1, -80},
    {0x0461, 0x0481, 2, -1},     {0x048B, 0x04BF, 2, -1},    {0x04C2, 0x04CE, 2, -1},
    {0x04CF, 0x04CF, 1, -15},    {0x04D1, 0x052F, 2, -1},    {0x0561, 0x0586, 1, -48},
    {0x10D0, 0x10FA, 1, 3008},   {0x10FD, 0x10FF, 1, 3008},  {0x13F8, 0x13FD, 1, -8},
    {0x1C80, 0x1C80, 1, -6254},  {0x1C81, 0x1C81, 1, -6253}, {0x1C82, 0x1C82, 1, -6244},
    {0x1C83, 0x1C84, 1, -6242},  {0x1C85, 0x1C85, 1, -6243}, {0x1C86, 0x1C86, 1, -6236},
    {0x1C87, 0x1C87, 1, -6181},  {0x1C88, 0x1C88, 1, 35266}, {0x1D79, 0x1D79, 1, 35332},
    {0x1D7D, 0x1D7D, 1, 3814},   {0x1D8E, 0x1D8E, 1, 35384}, {0x1E01, 0x1E95, 2, -1},
    {0x1E9B, 0x1E9B, 1, -59},    {0x1EA1, 0x1EFF, 2, -1},    {0x1F00, 0x1F07, 1, 8},
    {0x1F10, 0x1F15, 1, 8},      {0x1F20, 0x1F27, 1, 8},     {0x1F30, 0x1F37, 1, 8},
    {0x1F40, 0x1F45, 1, 8},      {0x1F51, 0x1F57, 2, 8},     {0x1F60, 0x1F67, 1, 8},
    {0x1F70, 0x1F71, 1, 74},     {0x1F72, 0x1F75, 1, 86},    {0x1F76, 0x1F77, 1, 100},
    {0x1F78, 0x1F79, 1, 128},    {0x1F7A, 0x1F7B, 1, 112},   {0x1F7C, 0x1F7D, 1, 126},
    {0x1F80, 0x1F87, 1, 8},      {0x1F90, 0x1F97, 1, 8},     {0x1FA0, 0x1FA7, 1, 8},
    {0x1FB0, 0x1FB1, 1, 8},      {0x1FB3, 0x1FB3, 1, 9},     {0x1FBE, 0x1FBE, 1, -7205},
    {0x1FC3, 0x1FC3, 1, 9},      {0x1FD0, 0x1FD1, 1, 8},     {0x1FE0, 0x1FE1, 1, 8},
    {0x1FE5, 0x1FE5, 1, 7},      {0x1FF3, 0x1FF3, 1, 9},     {0x214E, 0x214E, 1, -28},
    {0x2170, 0x217F, 1, -16},    {0x2184, 0x2184, 1, -1},    {0x24D0, 0x24E9, 1, -26},
    {0x2C30, 0x2C5F, 1, -48},    {0x2C61, 0x2C61, 1, -1},    {0x2C65, 0x2C65, 1, -10795},
    {0x2C66, 0x2C66, 1, -10792}, {0x2C68, 0x2C6C, 2, -1},    {0x2C73, 0x2C73, 1, -1},
    {0x2C76, 0x2C76, 1, -1},     {0x2C81, 0x2CE3, 2, -1},    {0x2CEC, 0x2CEE, 2, -1},
    {0x2CF3, 0x2CF3, 1, -1},     {0x2D00, 0x2D25, 1, -7264}, {0x2D27, 0x2D27, 1, -7264},
    {0x2D2D, 0x2D2D, 1, -7264},  {0xA641, 0xA66D, 2, -1},    {0xA681, 0xA69B, 2, -1},
    {0xA723, 0xA72F, 2, -1},     {0xA733, 0xA76F, 2, -1},    {0xA77A, 0xA77C, 2, -1},
    {0xA77F, 0xA787, 2, -1},     {0xA78C, 0xA78C, 1, -1},    {0xA791, 0xA793, 2, -1},
    {0xA794, 0xA794, 1, 48},     {0xA797, 0xA7A9, 2, -1},    {0xA7B5, 0xA7C3, 2, -1},
    {0xA7C8, 0xA7CA, 2, -1},     {0xA7D1, 0xA7D1, 1, -1},    {0xA7D7, 0xA7D9, 2, -1},
    {0xA7F6, 0xA7F6, 1, -1},     {0xAB53, 0xAB53, 1, -928},  {0xAB70, 0xABBF, 1, -38864},
    {0xFF41, 0xFF5A, 1, -32},
};

char16_t Uppercase(char16_t c) {
    static const std::vector<char16_t> table = [] {
        std::vector<char16_t> units(0x10000);
        for (std::size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(i);
        for (const CaseRun& run : kUppercaseRuns)
            for (std::uint32_t u = run.first; u <= run.last; u += run.step)
                units[u] = static_cast<char16_t>(static_cast<std::int32_t>(u) + run.difference);
        return units;
    }();
    return table[c];
}

int CompareKeys(const ResourceKey& a, const ResourceKey& b) {
    const bool aName = !a.text.empty(), bName = !b.text.empty();
    if (aName != bName) return aName ? -1 : 1;
    if (!aName) return a.id < b.id ? -1 : a.id > b.id ? 1 : 0;
    const std::size_t common = std::min(a.text.size(), b.text.size());
    for (std::size_t i = 0; i < common; ++i) {
        const char16_t x = Uppercase(a.text[i]), y = Uppercase(b.text[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.text.size() < b.text.size() ? -1 : a.text.size() > b.text.size() ? 1 : 0;
}

// The resource section's bytes for `resources` placed at `rva`: every directory first, then the
// data entries, the names, and the data, each item 8-aligned.
std::string BuildResourceSection(std::vector<Resource> resources, std::uint32_t rva) {
    std::stable_sort(resources.begin(), resources.end(), ResourceLess);
    for (std::size_t i = 1; i < resources.size(); ++i) {
        const Resource& a = resources[i - 1];
        const Resource& b = resources[i];
        if (SameResourceKey(a.type, b.type) && SameResourceKey(a.name, b.name) &&
            a.language == b.language)
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
        if (types.empty() || !SameResourceKey(types.back().key, r.type))
            types.push_back({r.type, {}});
        std::vector<NameNode>& names = types.back().names;
        if (names.empty() || !SameResourceKey(names.back().key, r.name))
            names.push_back({r.name, {}});
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
    const auto writeDirectory =
        [&](const std::vector<std::pair<ResourceKey, std::uint32_t>>& entries) {
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
            entries.emplace_back(n.key,
                                 0x80000000u | static_cast<std::uint32_t>(nameAt[nameIndex++]));
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
    // The reader charges each name where an entry refers to it and again in each resource under
    // it: a tree that it would refuse is not written.
    std::uint64_t cost = 0;
    for (const TypeNode& t : types) {
        cost += 2 * t.key.text.size();
        for (const NameNode& n : t.names) cost += 2 * n.key.text.size();
    }
    for (const Resource& r : resources) cost += LeafCost(r, r.data.size());
    if (cost > ReadBudget(tree.size() + data.size()))
        throw ExecutableError(
            "the resource names take far more room than the section that holds them");
    return tree + data;
}

}  // namespace

bool SameResourceKey(const ResourceKey& a, const ResourceKey& b) { return CompareKeys(a, b) == 0; }

bool ResourceLess(const Resource& a, const Resource& b) {
    if (const int type = CompareKeys(a.type, b.type)) return type < 0;
    if (const int name = CompareKeys(a.name, b.name)) return name < 0;
    return a.language < b.language;
}

std::vector<Resource> ReadResources(const std::string& image) {
    const ImageLayout layout = ReadLayout(image);
    const ResourceSection rsrc{image, layout.sections[layout.resources]};
    std::vector<Resource> resources;
    Resource path;
    ReadState state;
    state.budget = ReadBudget(std::min(rsrc.section.rawSize, rsrc.section.virtualSize));
    ReadDirectory(rsrc, 0, 0, path, resources, state);
    return resources;
}

std::uint32_t ImageChecksum(const std::string& image) {
    const ImageLayout layout = ReadLayout(image);
    const std::size_t skip = layout.ChecksumOffset();
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < image.size(); i += 2) {
        if (i == skip || i == skip + 2) continue;
        std::uint32_t word = static_cast<unsigned char>(image[i]);
        if (i + 1 < image.size())
            word |= static_cast<std::uint32_t>(static_cast<unsigned char>(image[i + 1])) << 8;
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
    const std::uint32_t relocationRva = Read32(image, layout.DirectoryEntry(kDirectoryRelocations));
    std::vector<std::size_t> after;
    for (std::size_t i = 0; i < layout.sections.size(); ++i) {
        if (i == layout.resources) continue;
        const Section& s = layout.sections[i];
        const bool behindInMemory = s.virtualAddress > rsrc.virtualAddress;
        const bool behindInFile = s.rawSize != 0 && s.rawPointer >= rsrc.rawPointer;
        if (behindInMemory || behindInFile) after.push_back(i);
    }
    if (std::any_of(after.begin(), after.end(),
                    [&](std::size_t i) { return layout.sections[i].IsDebug(); }) ||
        layout.symbolTable != 0)
        throw ExecutableError(
            "it carries debug sections or symbols: a release (stripped) build of the host is "
            "needed");
    if (after.size() > 1 ||
        (after.size() == 1 && layout.sections[after[0]].virtualAddress != relocationRva) ||
        layout.resources + after.size() + 1 != layout.sections.size())
        throw ExecutableError(
            "its resources are not at the end of the image, as they are in WebView2Wrapper.exe");
    const bool hasRelocations = !after.empty();
    const Section relocations = hasRelocations ? layout.sections[after[0]] : Section{};
    if (hasRelocations && relocations.rawSize == 0)
        throw ExecutableError("its relocation section has no data in the file");
    if (hasRelocations && relocations.rawPointer < std::uint64_t{rsrc.rawPointer} + rsrc.rawSize)
        throw ExecutableError("its sections overlap");
    for (std::size_t i = 0; i + after.size() + 1 < layout.sections.size(); ++i) {
        const Section& s = layout.sections[i];
        if (s.MappedEnd() > rsrc.virtualAddress ||
            (s.rawSize != 0 && std::uint64_t{s.rawPointer} + s.rawSize > rsrc.rawPointer))
            throw ExecutableError("its sections overlap");
    }
    // Nothing but their own entries may refer to the sections that move or change.
    for (std::uint32_t i = 0; i < layout.directoryCount; ++i) {
        if (i == kDirectoryResource || i == kDirectorySecurity ||
            (i == kDirectoryRelocations && hasRelocations))
            continue;
        const std::uint64_t rva = Read32(image, layout.DirectoryEntry(i));
        const std::uint64_t size = Read32(image, layout.DirectoryEntry(i) + 4);
        if (rva == 0 && size == 0) continue;
        const auto inside = [&](const Section& s) {
            return rva < s.MappedEnd() && rva + std::max<std::uint64_t>(size, 1) > s.virtualAddress;
        };
        if (inside(rsrc) || (hasRelocations && inside(relocations)))
            throw ExecutableError(
                "its data directory " + std::to_string(i) + " (" +
                (i < std::size(kDirectoryNames) ? kDirectoryNames[i] : "unknown") +
                ") points into its resource or relocation section, which the packager rewrites");
    }
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
        // The loader maps the raw size when the virtual size is 0: the image covers both.
        imageEnd = AlignUp(std::uint64_t{relocationAddress} +
                               std::max(relocations.virtualSize, relocations.rawSize),
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
