#include "packager/app_identity.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "bundle/bundle_writer.h"
#include "packager/image_codec.h"
#include "packager/little_endian.h"
#include "packager/package_output.h"
#include "packager/pe_resources.h"

namespace {

constexpr std::uint16_t kUsEnglish = 0x0409;
constexpr std::uint16_t kUnicodeCodePage = 1200;
constexpr char kIconName[] = "MAINICON";
constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};
// A text of the version resource longer than this is not a name or a sentence.
constexpr std::size_t kLongestText = 1000;

// UTF-8 (already checked) as UTF-16.
std::u16string Utf16(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length && i + k < text.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += static_cast<std::size_t>(length);
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// A string member of a JSON object, or empty.
std::string StringMember(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) return {};
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// npm's forms of "author": "Name <mail> (url)", or {"name": "Name", ...}.
std::string AuthorName(const nlohmann::json& root) {
    const auto it = root.find("author");
    if (it == root.end()) return {};
    if (it->is_object()) return Trim(StringMember(*it, "name"));
    if (!it->is_string()) return {};
    std::string text = it->get<std::string>();
    text = text.substr(0, std::min(text.find('<'), text.find('(')));
    return Trim(text);
}

// A text for the version resource, named `what` in errors.
std::string CheckedText(const std::string& text, const char* what) {
    if (!IsValidUtf8(text)) throw PackageError(std::string(what) + " is not UTF-8 text");
    if (text.find('\0') != std::string::npos)
        throw PackageError(std::string(what) + " contains a zero character");
    if (Utf16(text).size() > kLongestText)
        throw PackageError(std::string(what) + " is longer than " + std::to_string(kLongestText) +
                           " characters");
    return text;
}

// One node of a version resource: its header, key, value and children, each 32-bit aligned.
std::string VersionNode(const std::u16string& key, std::uint32_t type, const std::string& value,
                        std::uint32_t valueLength, const std::vector<std::string>& children) {
    std::string node(6, '\0');
    for (char16_t c : key) AppendLittle16(node, c);
    AppendLittle16(node, 0);
    node.resize((node.size() + 3) / 4 * 4, '\0');
    node += value;
    for (const std::string& child : children) {
        node.resize((node.size() + 3) / 4 * 4, '\0');
        node += child;
    }
    if (node.size() > 0xFFFF) throw PackageError("the version texts are too long");
    node[0] = static_cast<char>(node.size() & 0xFF);
    node[1] = static_cast<char>(node.size() >> 8);
    node[2] = static_cast<char>(valueLength & 0xFF);
    node[3] = static_cast<char>(valueLength >> 8);
    node[4] = static_cast<char>(type);
    return node;
}

std::string VersionString(const char16_t* key, const std::string& text) {
    std::string value;
    const std::u16string wide = Utf16(text);
    for (char16_t c : wide) AppendLittle16(value, c);
    AppendLittle16(value, 0);
    return VersionNode(key, 1, value, static_cast<std::uint32_t>(wide.size() + 1), {});
}

constexpr char kPngSignature[] = "\x89PNG\r\n\x1A\n";

bool IsPng(const std::string& bytes) { return bytes.rfind(kPngSignature, 0) == 0; }

bool IsIco(const std::string& bytes) {
    return bytes.size() >= 6 && Little16(bytes, 0) == 0 && Little16(bytes, 2) == 1 &&
           Little16(bytes, 4) != 0;
}

// A 32-bit bitmap as an icon holds it: the header with the doubled height, the colours bottom-up
// as BGRA, and the AND mask (set where the pixel is transparent).
std::string IconBitmap(const RgbaImage& image) {
    const int size = image.width;
    const std::uint32_t maskRow = static_cast<std::uint32_t>((size + 31) / 32 * 4);
    std::string bytes;
    AppendLittle32(bytes, 40);
    AppendLittle32(bytes, static_cast<std::uint32_t>(size));
    AppendLittle32(bytes, static_cast<std::uint32_t>(2 * size));
    AppendLittle16(bytes, 1);
    AppendLittle16(bytes, 32);
    AppendLittle32(bytes, 0);  // BI_RGB
    AppendLittle32(bytes, static_cast<std::uint32_t>(4 * size * size) + maskRow * size);
    for (int i = 0; i < 4; ++i) AppendLittle32(bytes, 0);
    std::string mask(maskRow * static_cast<std::size_t>(size), '\0');
    for (int y = size - 1; y >= 0; --y) {
        const std::size_t row = static_cast<std::size_t>(size - 1 - y);
        for (int x = 0; x < size; ++x) {
            const std::uint8_t* p = &image.pixels[std::size_t{4} * (size * y + x)];
            bytes.push_back(static_cast<char>(p[2]));
            bytes.push_back(static_cast<char>(p[1]));
            bytes.push_back(static_cast<char>(p[0]));
            bytes.push_back(static_cast<char>(p[3]));
            if (p[3] == 0) mask[row * maskRow + x / 8] |= static_cast<char>(0x80 >> (x % 8));
        }
    }
    return bytes + mask;
}

std::string GroupEntry(int size, std::uint32_t bytes) {
    std::string entry;
    entry.push_back(static_cast<char>(size >= 256 ? 0 : size));
    entry.push_back(static_cast<char>(size >= 256 ? 0 : size));
    entry.push_back(0);  // colour count
    entry.push_back(0);
    AppendLittle16(entry, 1);   // planes
    AppendLittle16(entry, 32);  // bits per pixel
    AppendLittle32(entry, bytes);
    return entry;
}

std::vector<IconImage> ImagesFromPng(const std::string& bytes, const std::string& name) {
    RgbaImage source;
    std::string problem;
    if (!DecodePng(bytes, source, problem))
        throw PackageError(name + ": the PNG cannot be read (" + problem + ")");
    // The largest size from the picture, the others from that one: as sharp, and a large
    // picture is filtered once rather than seven times.
    const RgbaImage largest = ScaleToSquare(source, kIconSizes[std::size(kIconSizes) - 1]);
    std::vector<IconImage> images;
    for (int size : kIconSizes) {
        const RgbaImage scaled = size == largest.width ? largest : ScaleToSquare(largest, size);
        IconImage image;
        image.bytes = size >= 256 ? EncodePng(scaled) : IconBitmap(scaled);
        if (image.bytes.empty()) throw PackageError(name + ": the icon cannot be encoded");
        image.entry = GroupEntry(size, static_cast<std::uint32_t>(image.bytes.size()));
        images.push_back(std::move(image));
    }
    return images;
}

// The head of the group entry (size, colours, planes, bit count) of an image of an .ico file,
// from the image itself: its bitmap header or its PNG header. The system picks the image to show
// by these fields, and the file's own directory may say anything. `what` names the image in
// errors.
std::string IcoImageEntry(const std::string& image, const std::string& what) {
    const auto refuse = [&](const std::string& why) { throw PackageError(what + " " + why); };
    std::uint64_t width = 0, height = 0;
    std::uint32_t bits = 0;
    PngHeader png;
    if (ReadPngHeader(image, png)) {
        static const std::map<int, std::uint32_t> channels = {{0, 1}, {2, 3}, {3, 1}, {4, 2}, {6, 4}};
        const auto found = channels.find(png.colourType);
        if (found == channels.end() || png.width == 0 || png.height == 0 || png.bitDepth == 0)
            refuse("is neither a bitmap nor a PNG");
        width = png.width;
        height = png.height;
        bits = found->second * static_cast<std::uint32_t>(png.bitDepth);
    } else {
        // BITMAPINFOHEADER: the height counts the colours and the mask; no compression.
        if (Little32(image, 0) != 40) refuse("is neither a bitmap nor a PNG");
        const auto signedWidth = static_cast<std::int32_t>(Little32(image, 4));
        const auto doubledHeight = static_cast<std::int32_t>(Little32(image, 8));
        bits = Little16(image, 14);
        static const std::set<std::uint32_t> depths = {1, 4, 8, 16, 24, 32};
        if (signedWidth <= 0 || doubledHeight <= 0 || doubledHeight % 2 != 0 ||
            !depths.count(bits) || Little32(image, 16) != 0)
            refuse("is neither a bitmap nor a PNG");
        width = static_cast<std::uint64_t>(signedWidth);
        height = static_cast<std::uint64_t>(doubledHeight) / 2;
        const std::uint64_t used = Little32(image, 32);
        const std::uint64_t colours = bits <= 8 && used == 0 ? 1u << bits : used;
        const auto row = [](std::uint64_t bitsWide) { return (bitsWide + 31) / 32 * 4; };
        if (width <= 256 && height <= 256 &&
            image.size() < 40 + 4 * colours + (row(width * bits) + row(width)) * height)
            refuse("is cut short");
    }
    if (width > 256 || height > 256) refuse("is larger than 256 pixels");
    std::string entry;
    entry.push_back(static_cast<char>(width == 256 ? 0 : width));
    entry.push_back(static_cast<char>(height == 256 ? 0 : height));
    entry.push_back(static_cast<char>(bits < 8 ? 1u << bits : 0));  // colour count
    entry.push_back(0);
    AppendLittle16(entry, 1);  // planes
    AppendLittle16(entry, bits);
    AppendLittle32(entry, static_cast<std::uint32_t>(image.size()));
    return entry;
}

std::vector<IconImage> ImagesFromIco(const std::string& bytes, const std::string& name) {
    const std::size_t count = Little16(bytes, 4);
    if (bytes.size() < 6 + 16 * count) throw PackageError(name + ": the icon file is truncated");
    std::vector<IconImage> images;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 6 + 16 * i;
        const std::uint32_t size = Little32(bytes, at + 8);
        const std::uint32_t offset = Little32(bytes, at + 12);
        const std::string what = name + ": image " + std::to_string(i + 1) + " of the icon file";
        if (size < 40 || offset > bytes.size() || bytes.size() - offset < size)
            throw PackageError(what + " lies outside it");
        IconImage image;
        image.bytes = bytes.substr(offset, size);
        image.entry = IcoImageEntry(image.bytes, what);
        images.push_back(std::move(image));
    }
    return images;
}

Resource MakeResource(std::uint16_t type, const ResourceKey& name, std::uint16_t language,
                      std::string data) {
    Resource resource;
    resource.type.id = type;
    resource.name = name;
    resource.language = language;
    resource.data = std::move(data);
    return resource;
}

ResourceKey IdKey(std::uint16_t id) {
    ResourceKey key;
    key.id = id;
    return key;
}

}  // namespace

std::optional<std::array<std::uint16_t, 4>> ParseVersionNumbers(const std::string& text) {
    const std::size_t end = std::min(text.find('-'), text.find('+'));
    const std::string numbers = text.substr(0, end);
    if (end != std::string::npos && end + 1 >= text.size()) return std::nullopt;
    std::array<std::uint16_t, 4> parts{};
    std::size_t count = 0, start = 0;
    for (;;) {
        const std::size_t dot = std::min(numbers.find('.', start), numbers.size());
        const std::string part = numbers.substr(start, dot - start);
        if (part.empty() || part.size() > 5 || count == 4 ||
            part.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        const unsigned long value = std::stoul(part);
        if (value > 0xFFFF) return std::nullopt;
        parts[count++] = static_cast<std::uint16_t>(value);
        if (dot == numbers.size()) break;
        start = dot + 1;
    }
    return parts;
}

std::optional<std::string> ExecutableFileName(const std::string& name, std::string& problem) {
    std::string file = name;
    const auto lower = [](std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return text;
    };
    if (file.size() < 4 || lower(file.substr(file.size() - 4)) != ".exe") file += ".exe";
    const std::string stem = file.substr(0, file.size() - 4);
    if (stem.empty()) {
        problem = "the name is empty";
        return std::nullopt;
    }
    if (!IsValidUtf8(file)) {
        problem = "the name is not UTF-8 text";
        return std::nullopt;
    }
    if (file.size() > 200) {
        problem = "the name is longer than 200 bytes";
        return std::nullopt;
    }
    for (char c : stem) {
        if (static_cast<unsigned char>(c) < 0x20 || std::string("<>:\"/\\|?*").find(c) != std::string::npos) {
            problem = "a file name may not contain < > : \" / \\ | ? * or control characters";
            return std::nullopt;
        }
    }
    if (stem.back() == '.' || stem.back() == ' ' || stem.front() == ' ') {
        problem = "a file name may not begin with a space or end with a dot or space";
        return std::nullopt;
    }
    // Device names stay devices whatever extension follows them.
    const std::string device = lower(stem.substr(0, stem.find('.')));
    static const std::set<std::string> devices = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    const bool numbered = device.size() == 4 && (device.rfind("com", 0) == 0 || device.rfind("lpt", 0) == 0) &&
                          device[3] >= '0' && device[3] <= '9';
    if (devices.count(Trim(device)) || numbered) {
        problem = "\"" + stem + "\" is the name of a Windows device";
        return std::nullopt;
    }
    return file;
}

AppIdentity ResolveIdentity(const IdentityOptions& options, const std::string& settingsText,
                            const AppConfig& config, const std::string& defaultExeName) {
    // Read as the host reads it: a leading byte-order mark skipped, a zero byte ending the text.
    std::string text = settingsText.c_str();
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    const nlohmann::json root = nlohmann::json::parse(text, nullptr, false);

    AppIdentity identity;
    std::string problem;
    const std::string exeName = options.exeName.empty() ? defaultExeName : options.exeName;
    const std::optional<std::string> exe = ExecutableFileName(exeName, problem);
    if (!exe) throw PackageError("executable name " + exeName + ": " + problem);
    identity.exeName = *exe;

    const std::string windowTitle =
        config.title != kDefaultTitle && !Trim(config.title).empty() ? config.title : "";
    identity.productName = CheckedText(
        !options.productName.empty() ? options.productName
        : !windowTitle.empty()       ? windowTitle
                                     : config.name,
        "the product name");
    const std::string description = Trim(StringMember(root, "description"));
    identity.description = CheckedText(
        !options.description.empty() ? options.description
        : !description.empty()       ? description
                                     : identity.productName,
        "the description");
    identity.company = CheckedText(
        !options.company.empty() ? options.company : AuthorName(root), "the company (\"author\")");
    identity.copyright =
        CheckedText(!options.copyright.empty()   ? options.copyright
                    : !identity.company.empty() ? "Copyright (c) " + identity.company
                                                : std::string(),
                    "the copyright");

    if (!options.version.empty()) {
        identity.version = options.version;
    } else if (root.is_object() && root.contains("version")) {
        const nlohmann::json& version = root["version"];
        if (!version.is_string())
            throw PackageError("package.json: \"version\" is not a string; write it as \"1.2.3\", "
                               "or pass --version");
        identity.version = version.get<std::string>();
    } else {
        identity.version = kDefaultAppVersion;
    }
    const auto numbers = ParseVersionNumbers(identity.version);
    if (!numbers)
        throw PackageError("version \"" + identity.version + "\" is not " + kVersionRule);
    identity.versionNumbers = *numbers;
    CheckedText(identity.version, "the version");
    return identity;
}

std::string BuildVersionResource(const AppIdentity& identity) {
    const auto& v = identity.versionNumbers;
    std::string fixed;
    AppendLittle32(fixed, 0xFEEF04BD);  // signature
    AppendLittle32(fixed, 0x00010000);  // structure version
    for (int i = 0; i < 2; ++i) {  // file version, product version
        AppendLittle32(fixed, (std::uint32_t{v[0]} << 16) | v[1]);
        AppendLittle32(fixed, (std::uint32_t{v[2]} << 16) | v[3]);
    }
    AppendLittle32(fixed, 0x3F);     // flags mask
    AppendLittle32(fixed, 0);        // flags
    AppendLittle32(fixed, 0x40004);  // VOS_NT_WINDOWS32
    AppendLittle32(fixed, 1);        // VFT_APP
    AppendLittle32(fixed, 0);        // subtype
    AppendLittle32(fixed, 0);        // date
    AppendLittle32(fixed, 0);

    const std::string stem = identity.exeName.substr(0, identity.exeName.size() - 4);
    std::vector<std::string> strings;
    if (!identity.company.empty()) strings.push_back(VersionString(u"CompanyName", identity.company));
    strings.push_back(VersionString(u"FileDescription", identity.description));
    strings.push_back(VersionString(u"FileVersion", identity.version));
    strings.push_back(VersionString(u"InternalName", stem));
    if (!identity.copyright.empty())
        strings.push_back(VersionString(u"LegalCopyright", identity.copyright));
    strings.push_back(VersionString(u"OriginalFilename", identity.exeName));
    strings.push_back(VersionString(u"ProductName", identity.productName));
    strings.push_back(VersionString(u"ProductVersion", identity.version));

    const std::string table = VersionNode(u"040904B0", 1, {}, 0, strings);
    const std::string stringInfo = VersionNode(u"StringFileInfo", 1, {}, 0, {table});
    std::string translation;
    AppendLittle16(translation, kUsEnglish);
    AppendLittle16(translation, kUnicodeCodePage);
    const std::string var = VersionNode(u"Translation", 0, translation, 4, {});
    const std::string varInfo = VersionNode(u"VarFileInfo", 1, {}, 0, {var});
    return VersionNode(u"VS_VERSION_INFO", 0, fixed, static_cast<std::uint32_t>(fixed.size()),
                       {stringInfo, varInfo});
}

bool LooksLikeIcon(const std::string& bytes) { return IsPng(bytes) || IsIco(bytes); }

std::vector<IconImage> IconImagesFromFile(const std::string& bytes, const std::string& name) {
    if (IsPng(bytes)) return ImagesFromPng(bytes, name);
    if (IsIco(bytes)) return ImagesFromIco(bytes, name);
    throw PackageError(name + ": not a PNG or ICO file");
}

bool NamesItsOriginalFile(const std::string& image, const std::string& exeName) noexcept try {
    const std::string node = VersionString(u"OriginalFilename", exeName);
    for (const Resource& resource : ReadResources(image))
        if (resource.type.id == kResourceVersion && resource.data.find(node) != std::string::npos)
            return true;
    return false;
} catch (...) {
    return false;
}

IdentityResult ApplyIdentity(const std::string& host, const AppIdentity& identity,
                             const std::vector<IconImage>& icon) {
    std::vector<Resource> resources = ReadResources(host);
    std::uint16_t language = kUsEnglish;
    const ResourceKey iconName{0, Utf16(kIconName)};
    const auto isGroup = [&](const Resource& r) {
        return r.type.text.empty() && r.type.id == kResourceGroupIcon &&
               SameResourceKey(r.name, iconName);
    };
    if (!icon.empty()) {
        // The old MAINICON goes with the images it lists; other icons keep theirs.
        std::set<std::uint16_t> listed;
        for (const Resource& r : resources) {
            if (!isGroup(r) || r.data.size() < 6) continue;
            language = r.language;
            const std::size_t count = std::min<std::size_t>(Little16(r.data, 4), (r.data.size() - 6) / 14);
            for (std::size_t i = 0; i < count; ++i)
                listed.insert(static_cast<std::uint16_t>(Little16(r.data, 6 + 14 * i + 12)));
        }
        const auto isListedImage = [&](const Resource& r) {
            return r.type == IdKey(kResourceIcon) && r.name.text.empty() &&
                   listed.count(r.name.id);
        };
        resources.erase(std::remove_if(resources.begin(), resources.end(),
                                       [&](const Resource& r) { return isGroup(r) || isListedImage(r); }),
                        resources.end());
        std::set<std::uint16_t> used;
        for (const Resource& r : resources)
            if (r.type == IdKey(kResourceIcon) && r.name.text.empty()) used.insert(r.name.id);
        Resource group = MakeResource(kResourceGroupIcon, iconName, language, {});
        AppendLittle16(group.data, 0);
        AppendLittle16(group.data, 1);
        AppendLittle16(group.data, static_cast<std::uint32_t>(icon.size()));
        std::uint16_t id = 1;
        for (const IconImage& image : icon) {
            while (used.count(id)) ++id;
            if (id == 0) throw PackageError("the host has no room for more icon images");
            resources.push_back(MakeResource(kResourceIcon, IdKey(id), language, image.bytes));
            group.data += image.entry;
            AppendLittle16(group.data, id);
            used.insert(id++);
        }
        resources.push_back(std::move(group));
    }
    for (const Resource& r : resources)
        if (r.type == IdKey(kResourceVersion)) language = r.language;
    resources.erase(std::remove_if(resources.begin(), resources.end(),
                                   [](const Resource& r) {
                                       return r.type == IdKey(kResourceVersion);
                                   }),
                    resources.end());
    resources.push_back(
        MakeResource(kResourceVersion, IdKey(1), language, BuildVersionResource(identity)));
    RewrittenImage rewritten = ReplaceResources(host, resources);
    return {std::move(rewritten.image), rewritten.signatureRemoved};
}
