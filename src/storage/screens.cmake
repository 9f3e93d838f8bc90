target_sources(quillmar_ui PRIVATE
    storage/StorageSettingsView.cpp storage/StorageSettingsView.h
)
