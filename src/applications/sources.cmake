target_sources(quillmar_core PRIVATE
    applications/AppLeftovers.cpp applications/AppLeftovers.h
    applications/AppResource.h
    applications/ApplicationsViewModel.cpp applications/ApplicationsViewModel.h
    applications/LeftoverReport.h
    applications/TrashWatcher.cpp applications/TrashWatcher.h
)
