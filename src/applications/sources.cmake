target_sources(quillmar_engine PRIVATE
    applications/AppLeftovers.cpp applications/AppLeftovers.h
    applications/AppResource.h
    applications/DesktopApps.cpp applications/DesktopApps.h
    applications/LeftoverReport.h
)
target_sources(quillmar_models PRIVATE
    applications/ApplicationsViewModel.cpp applications/ApplicationsViewModel.h
    applications/TrashWatcher.cpp applications/TrashWatcher.h
)
