target_sources(quillmar_ui PRIVATE
    storage/screens/BlockPreview.cpp storage/screens/BlockPreview.h
    storage/screens/StorageBlockMap.cpp storage/screens/StorageBlockMap.h
    storage/screens/StorageColumn.cpp storage/screens/StorageColumn.h
    storage/screens/StorageSettingsView.cpp storage/screens/StorageSettingsView.h
    storage/screens/StorageView.cpp storage/screens/StorageView.h
)
