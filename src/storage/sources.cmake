target_sources(quillmar_core PRIVATE
    storage/StorageScanner.cpp storage/StorageScanner.h
    storage/StorageViewModel.cpp storage/StorageViewModel.h
    storage/TreemapLayout.cpp storage/TreemapLayout.h
)
