target_sources(quillmar_engine PRIVATE
    cleaning/JunkCategories.cpp cleaning/JunkCategories.h
    cleaning/SystemCaches.cpp cleaning/SystemCaches.h
)
target_sources(quillmar_models PRIVATE
    cleaning/DeepCleanViewModel.cpp cleaning/DeepCleanViewModel.h
    cleaning/JunkTableItem.cpp cleaning/JunkTableItem.h
    cleaning/JunkViewModel.cpp cleaning/JunkViewModel.h
    cleaning/ScanCleanCycle.cpp cleaning/ScanCleanCycle.h
)
