target_sources(quillmar_ui PRIVATE
    applications/AppScanSettingsView.cpp applications/AppScanSettingsView.h
    applications/ApplicationsView.cpp applications/ApplicationsView.h
    applications/LeftoversSheet.cpp applications/LeftoversSheet.h
)
