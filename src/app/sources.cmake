target_sources(quillmar_core PRIVATE
    app/AppState.cpp app/AppState.h
    app/TabNavigation.cpp app/TabNavigation.h
    app/Website.cpp app/Website.h
)
target_sources(quillmar_ui PRIVATE
    app/AboutSettingsView.cpp app/AboutSettingsView.h
    app/ActivityIndicator.cpp app/ActivityIndicator.h
    app/AppInfo.cpp app/AppInfo.h
    app/CloseGuard.cpp app/CloseGuard.h
    app/Async.h
    app/DeleteSelectedButton.cpp app/DeleteSelectedButton.h
    app/DesktopIntegration.cpp app/DesktopIntegration.h
    app/DetailRow.cpp app/DetailRow.h
    app/Dialogs.cpp app/Dialogs.h
    app/EmptyStateView.cpp app/EmptyStateView.h
    app/FileIcons.cpp app/FileIcons.h
    app/FullDiskAccessBanner.cpp app/FullDiskAccessBanner.h
    app/FullDiskAccessRequestView.cpp app/FullDiskAccessRequestView.h
    app/GeneralSettingsView.cpp app/GeneralSettingsView.h
    app/MainContentView.cpp app/MainContentView.h
    app/MainWindow.cpp app/MainWindow.h
    app/PrivacySettingsView.cpp app/PrivacySettingsView.h
    app/ProgressBannerView.cpp app/ProgressBannerView.h
    app/QuickLookPreview.cpp app/QuickLookPreview.h
    app/ScaleButton.cpp app/ScaleButton.h
    app/SettingsForm.cpp app/SettingsForm.h
    app/SettingsTab.cpp app/SettingsTab.h
    app/SettingsView.cpp app/SettingsView.h
    app/SidebarLabel.cpp app/SidebarLabel.h
    app/SidebarView.cpp app/SidebarView.h
    app/Style.cpp app/Style.h
    app/Symbols.cpp app/Symbols.h
    app/SymbolView.cpp app/SymbolView.h
    app/TabCounts.cpp app/TabCounts.h
    app/TabHeader.cpp app/TabHeader.h
    app/Theme.cpp app/Theme.h
)
