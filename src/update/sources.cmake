target_sources(quillmar_update PRIVATE
    update/CopySwap.cpp update/CopySwap.h
    update/Download.cpp update/Download.h
    update/ReleaseArchive.cpp update/ReleaseArchive.h
    update/ReleaseTree.cpp update/ReleaseTree.h
    update/StagingFolder.cpp update/StagingFolder.h
    update/Updater.cpp update/Updater.h
    update/Website.cpp update/Website.h
)
