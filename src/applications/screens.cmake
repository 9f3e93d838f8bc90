target_sources(quillmar_ui PRIVATE
    applications/screens/AppScanSettingsView.cpp applications/screens/AppScanSettingsView.h
    applications/screens/ApplicationsView.cpp applications/screens/ApplicationsView.h
    applications/screens/LeftoversSheet.cpp applications/screens/LeftoversSheet.h
)
