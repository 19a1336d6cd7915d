#include "messaging/directory_folders.h"

namespace {

constexpr std::array<DirectoryFolder, kDirectoryHandleCount> kFolders = {{
    {0, "<app>", FolderSource::ExeFolder, KnownFolderId::None},
    {1, "<web-resource>", FolderSource::ContentFolder, KnownFolderId::None},
    {2, "<current-app-data>", FolderSource::UserDataFolder, KnownFolderId::None},
    {3, "<local-app-data>", FolderSource::KnownFolder, KnownFolderId::LocalAppData},
    {4, "<roaming-app-data>", FolderSource::KnownFolder, KnownFolderId::RoamingAppData},
    {5, "<desktop>", FolderSource::KnownFolder, KnownFolderId::Desktop},
    {6, "<documents>", FolderSource::KnownFolder, KnownFolderId::Documents},
    {7, "<downloads>", FolderSource::KnownFolder, KnownFolderId::Downloads},
    {8, "<pictures>", FolderSource::KnownFolder, KnownFolderId::Pictures},
    {9, "<profile>", FolderSource::KnownFolder, KnownFolderId::Profile},
    {10, "<saved-games>", FolderSource::KnownFolder, KnownFolderId::SavedGames},
    {11, "<screenshots>", FolderSource::KnownFolder, KnownFolderId::Screenshots},
    {12, "<videos>", FolderSource::KnownFolder, KnownFolderId::Videos},
}};

}  // namespace

const std::array<DirectoryFolder, kDirectoryHandleCount>& DirectoryFolders() { return kFolders; }

std::string DirectoryFolderPath(const DirectoryFolder& row, const HostFolders& folders,
                                const std::function<std::string(KnownFolderId)>& knownFolderPath) {
    switch (row.source) {
        case FolderSource::ExeFolder:
            return folders.exeFolder;
        case FolderSource::ContentFolder:
            return folders.exeFolder + folders.contentFolder;
        case FolderSource::UserDataFolder:
            return folders.userDataFolder;
        case FolderSource::KnownFolder:
            return knownFolderPath ? knownFolderPath(row.knownFolder) : "";
    }
    return {};
}
