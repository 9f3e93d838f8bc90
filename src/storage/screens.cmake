target_sources(quillmar_ui PRIVATE
    storage/BlockPreview.cpp storage/BlockPreview.h
    storage/StorageBlockMap.cpp storage/StorageBlockMap.h
    storage/StorageColumn.cpp storage/StorageColumn.h
    storage/StorageSettingsView.cpp storage/StorageSettingsView.h
    storage/StorageView.cpp storage/StorageView.h
)
