target_sources(quillmar_update PRIVATE
    update/Updater.cpp update/Updater.h
    update/Website.cpp update/Website.h
)
