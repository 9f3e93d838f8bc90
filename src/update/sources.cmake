target_sources(quillmar_core PRIVATE
    update/Updater.cpp update/Updater.h
)
