target_sources(quillmar_engine PRIVATE
    applications/AppLeftovers.cpp applications/AppLeftovers.h
    applications/LeftoverReport.h
)
target_sources(quillmar_models PRIVATE
    applications/AppResource.h
    applications/ApplicationsViewModel.cpp applications/ApplicationsViewModel.h
    applications/TrashWatcher.cpp applications/TrashWatcher.h
)
