// The resources of a Windows executable, read from its image and written back into a copy.
//
// The writer rebuilds the resource section whole. It handles the layout our host's linker gives
// its images: the resource section is the last section, or is followed only by the base
// relocations, which are moved up behind the new resources. Nothing else may refer to either: a
// data directory entry other than their own that points into them is refused. The section table,
// the image size, the data directory and the checksum are brought up to date; a signature of the
// original image, which no longer matches, is removed. Any other layout (among them a host that
// still carries debug sections) is refused with ExecutableError. Every section's data must lie
// behind the headers, aligned and within the file, and every offset read from the image is
// checked against its size, so a damaged or hostile file gives an error, never an out-of-bounds
// read or write.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// What is wrong with an executable image, in words for the user.
class ExecutableError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A resource type or name: a number, or (when `text` is not empty) a name in UTF-16.
struct ResourceKey {
    std::uint16_t id = 0;
    std::u16string text;

    bool operator==(const ResourceKey&) const = default;
};

inline constexpr std::uint16_t kResourceIcon = 3;        // RT_ICON
inline constexpr std::uint16_t kResourceGroupIcon = 14;  // RT_GROUP_ICON
inline constexpr std::uint16_t kResourceVersion = 16;    // RT_VERSION
inline constexpr std::uint16_t kResourceManifest = 24;   // RT_MANIFEST

struct Resource {
    ResourceKey type;
    ResourceKey name;
    std::uint16_t language = 0;
    std::uint32_t codePage = 0;
    std::string data;
};

// Whether two types or names are one: ids equal, or texts equal once each UTF-16 unit is mapped
// to its uppercase (Unicode's simple mapping, one unit to one unit), as the system finds names.
bool SameResourceKey(const ResourceKey& a, const ResourceKey& b);
// The order of a resource directory: by type, name and language; names before ids, names
// compared by their uppercase units, ids by value.
bool ResourceLess(const Resource& a, const Resource& b);

// Every resource of the image, in the order of its resource directory. Reading costs memory in
// proportion to the resource section's size: a tree whose entries repeat long names beyond that
// is refused, as is one that reaches a directory twice.
std::vector<Resource> ReadResources(const std::string& image);

struct RewrittenImage {
    std::string image;
    bool signatureRemoved = false;  // the original carried an Authenticode signature
};

// A copy of `image` whose resources are `resources`.
RewrittenImage ReplaceResources(const std::string& image, const std::vector<Resource>& resources);

// The PE checksum of `image` (the field itself counted as zero), as the linker and the system
// compute it.
std::uint32_t ImageChecksum(const std::string& image);
