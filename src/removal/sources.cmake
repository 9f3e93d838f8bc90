target_sources(quillmar_engine PRIVATE
    removal/RemovalJournal.cpp removal/RemovalJournal.h
)
target_sources(quillmar_models PRIVATE
    removal/ExclusionsViewModel.cpp removal/ExclusionsViewModel.h
    removal/RecentlyRemovedViewModel.cpp removal/RecentlyRemovedViewModel.h
)
