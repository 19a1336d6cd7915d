// The app's own identity in its copy of the host: the executable's file name, its icon group
// MAINICON and its version resource (what Explorer, the taskbar, Task Manager and the file's
// Properties show).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/app_config.h"

// The identity options of `package`, in UTF-8; empty means "from package.json".
struct IdentityOptions {
    std::string exeName;
    std::string icon;  // a PNG or ICO file
    std::string version;
    std::string productName;
    std::string description;
    std::string company;
    std::string copyright;

    bool operator==(const IdentityOptions&) const = default;
};

struct AppIdentity {
    std::string exeName;  // "MyGame.exe"
    std::string productName;
    std::string description;
    std::string company;    // empty: no CompanyName
    std::string copyright;  // empty: no LegalCopyright
    std::string version;    // as written, "1.2.0-beta.1"
    std::array<std::uint16_t, 4> versionNumbers{};
};

inline constexpr char kDefaultAppVersion[] = "1.0.0";
// What a version must look like, for messages.
inline constexpr char kVersionRule[] =
    "a version like 1.2.3 (up to four numbers of at most 65535, optionally followed by -text)";

// "1", "1.2", "1.2.3" or "1.2.3.4" (each part 0 to 65535), optionally followed by "-text" or
// "+text" (a pre-release or build of semantic versioning); missing parts are 0.
std::optional<std::array<std::uint16_t, 4>> ParseVersionNumbers(const std::string& text);

// NAME as the file name of the executable ("MyGame" becomes "MyGame.exe"), or nothing, with
// `problem` saying why it cannot be a Windows file name.
std::optional<std::string> ExecutableFileName(const std::string& name, std::string& problem);

// The identity from the options, else from package.json (`settingsText`, already accepted by the
// host's rules, and its parsed `config`): product name from the window title or else "name",
// description from "description", version from "version" (else 1.0.0), company from "author" (a
// string "Name <mail> (url)" or an object with "name"), copyright "Copyright (c) <company>".
// Throws PackageError when a value cannot be used.
AppIdentity ResolveIdentity(const IdentityOptions& options, const std::string& settingsText,
                            const AppConfig& config, const std::string& defaultExeName);

// The RT_VERSION resource of the identity: US English, Unicode.
std::string BuildVersionResource(const AppIdentity& identity);

// An icon's images, as an RT_GROUP_ICON lists them: each entry's 12 leading bytes of a
// GRPICONDIRENTRY (size, colours, planes, bit count, byte count) and the image's bytes.
struct IconImage {
    std::string entry;
    std::string bytes;
};

// The images of an .ico file, or of a PNG decoded and scaled to 16, 24, 32, 48, 64, 128 and 256
// pixels (32-bit bitmaps, the 256 one as PNG). The kind is told by the bytes. An .ico image's
// entry is made from the image (its size and bit count, one plane), not copied from the file's
// directory; each image must be a bitmap or a PNG of at most 256 pixels a side. Throws
// PackageError naming `name` when the file is neither, or is damaged.
std::vector<IconImage> IconImagesFromFile(const std::string& bytes, const std::string& name);
// Whether the bytes start as a PNG or an .ico file does.
bool LooksLikeIcon(const std::string& bytes);

// Whether `image` is a host this packager wrote as `exeName`: its version resource names that
// as its original file name. False for anything that cannot be read as an executable.
bool NamesItsOriginalFile(const std::string& image, const std::string& exeName) noexcept;

struct IdentityResult {
    std::string image;
    bool signatureRemoved = false;
};

// `host` with the identity's version resource and, when `icon` is not empty, MAINICON made of
// those images. Throws ExecutableError for an image that cannot be rewritten.
IdentityResult ApplyIdentity(const std::string& host, const AppIdentity& identity,
                             const std::vector<IconImage>& icon);
