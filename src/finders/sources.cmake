target_sources(quillmar_engine PRIVATE
    finders/DuplicateFinder.cpp finders/DuplicateFinder.h
    finders/DuplicateGroup.cpp finders/DuplicateGroup.h
    finders/FileItem.h
    finders/FileList.cpp finders/FileList.h
    finders/FileScan.cpp finders/FileScan.h
    finders/FileSearch.cpp finders/FileSearch.h
    finders/FinderScans.cpp finders/FinderScans.h
    finders/HomeSearch.cpp finders/HomeSearch.h
    finders/ListExport.cpp finders/ListExport.h
    finders/Md5Lanes.cpp finders/Md5Lanes.h
)
target_sources(quillmar_models PRIVATE
    finders/AdvancedToolsViewModel.cpp finders/AdvancedToolsViewModel.h
)
