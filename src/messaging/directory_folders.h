// The thirteen folders whose handles the page receives at every handshake, in the order of the
// handles in the "directory-handles" message, with the tag under which each path is recorded.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

enum class FolderSource { ExeFolder, ContentFolder, UserDataFolder, KnownFolder };

// The shell's known folders used here; the Windows layer maps each to its FOLDERID.
enum class KnownFolderId {
    None,
    LocalAppData,
    RoamingAppData,
    Desktop,
    Documents,
    Downloads,
    Pictures,
    Profile,
    SavedGames,
    Screenshots,
    Videos,
};

struct DirectoryFolder {
    std::size_t index;
    std::string_view tag;
    FolderSource source;
    KnownFolderId knownFolder;  // None unless source is KnownFolder
};

inline constexpr std::size_t kDirectoryHandleCount = 13;

const std::array<DirectoryFolder, kDirectoryHandleCount>& DirectoryFolders();

// The host's own folders, each ending in a backslash ("www\" for the content folder).
struct HostFolders {
    std::string exeFolder;
    std::string contentFolder;
    std::string userDataFolder;
};

// The path a row stands for: the executable's folder, the executable's folder followed by the
// content folder, the user-data folder, or what `knownFolderPath` reports (empty when the folder
// does not exist). An empty result means the row gets no handle.
std::string DirectoryFolderPath(const DirectoryFolder& row, const HostFolders& folders,
                                const std::function<std::string(KnownFolderId)>& knownFolderPath);
