target_sources(quillmar_core PRIVATE
    finders/AdvancedToolsViewModel.cpp finders/AdvancedToolsViewModel.h
    finders/DuplicateFinder.cpp finders/DuplicateFinder.h
    finders/DuplicateGroup.cpp finders/DuplicateGroup.h
    finders/FileItem.h
    finders/FileScan.cpp finders/FileScan.h
    finders/FinderScans.cpp finders/FinderScans.h
    finders/HomeSearch.cpp finders/HomeSearch.h
    finders/Md5Lanes.cpp finders/Md5Lanes.h
)
