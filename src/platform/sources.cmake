target_sources(quillmar_engine PRIVATE
    platform/BytePath.cpp platform/BytePath.h
    platform/DesktopEntry.cpp platform/DesktopEntry.h
    platform/DirectoryReader.cpp platform/DirectoryReader.h
    platform/DirectoryWalk.cpp platform/DirectoryWalk.h
    platform/DiskSpace.cpp platform/DiskSpace.h
    platform/DisplayName.cpp platform/DisplayName.h
    platform/Exclusions.cpp platform/Exclusions.h
    platform/FileDescriptor.cpp platform/FileDescriptor.h
    platform/FileDetails.cpp platform/FileDetails.h
    platform/FileExtents.cpp platform/FileExtents.h
    platform/FileIdentity.cpp platform/FileIdentity.h
    platform/FileProperties.cpp platform/FileProperties.h
    platform/FullDiskAccess.cpp platform/FullDiskAccess.h
    platform/Locations.cpp platform/Locations.h
    platform/MountTable.cpp platform/MountTable.h
    platform/PathList.cpp platform/PathList.h
    platform/PathText.cpp platform/PathText.h
    platform/NotificationCenter.cpp platform/NotificationCenter.h
    platform/PlatformTexts.cpp platform/PlatformTexts.h
    platform/Plural.cpp platform/Plural.h
    platform/Preferences.cpp platform/Preferences.h
    platform/PropertyList.cpp platform/PropertyList.h
    platform/RemovalHub.cpp platform/RemovalHub.h
    platform/ReadOnlyFile.cpp platform/ReadOnlyFile.h
    platform/SystemLog.cpp platform/SystemLog.h
    platform/TerminationSignals.cpp platform/TerminationSignals.h
    platform/Trash.cpp platform/Trash.h
)
# Desktop services: opening links, revealing files, the application's icon.
target_sources(quillmar_desktop PRIVATE
    platform/desktop/AppInfo.cpp platform/desktop/AppInfo.h
    platform/desktop/Workspace.cpp platform/desktop/Workspace.h
)
