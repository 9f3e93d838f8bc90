target_sources(quillmar_engine PRIVATE
    storage/StorageScanner.cpp storage/StorageScanner.h
    storage/TreemapLayout.cpp storage/TreemapLayout.h
    storage/Volumes.cpp storage/Volumes.h
)
target_sources(quillmar_models PRIVATE
    storage/StorageViewModel.cpp storage/StorageViewModel.h
)
