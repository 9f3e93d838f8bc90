target_sources(quillmar_engine PRIVATE
    storage/NcduExport.cpp storage/NcduExport.h
    storage/MapHistory.cpp storage/MapHistory.h
    storage/StorageScanner.cpp storage/StorageScanner.h
    storage/TreemapLayout.cpp storage/TreemapLayout.h
    storage/UsageWalk.cpp storage/UsageWalk.h
    storage/Volumes.cpp storage/Volumes.h
)
target_sources(quillmar_models PRIVATE
    storage/StorageViewModel.cpp storage/StorageViewModel.h
)
