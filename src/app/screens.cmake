# The widgets every tab shares.
target_sources(quillmar_ui PRIVATE
    app/widgets/ActivityIndicator.cpp app/widgets/ActivityIndicator.h
    app/widgets/CheckBoxDelegate.cpp app/widgets/CheckBoxDelegate.h
    app/widgets/CloseGuard.cpp app/widgets/CloseGuard.h
    app/widgets/Contrast.cpp app/widgets/Contrast.h
    app/widgets/DeleteSelectedButton.cpp app/widgets/DeleteSelectedButton.h
    app/widgets/DetailRow.cpp app/widgets/DetailRow.h
    app/widgets/Dialogs.cpp app/widgets/Dialogs.h
    app/widgets/EmptyStateView.cpp app/widgets/EmptyStateView.h
    app/widgets/ExportButton.cpp app/widgets/ExportButton.h
    app/widgets/FileIcons.cpp app/widgets/FileIcons.h
    app/widgets/KeepMenu.cpp app/widgets/KeepMenu.h
    app/widgets/OneATurn.cpp app/widgets/OneATurn.h
    app/widgets/QuickLookPreview.cpp app/widgets/QuickLookPreview.h
    app/widgets/RevealInFolder.cpp app/widgets/RevealInFolder.h
    app/widgets/RowActions.cpp app/widgets/RowActions.h
    app/widgets/RowButtonDelegate.cpp app/widgets/RowButtonDelegate.h
    app/widgets/ScaleButton.cpp app/widgets/ScaleButton.h
    app/widgets/ScanStateStack.cpp app/widgets/ScanStateStack.h
    app/widgets/SettingsForm.cpp app/widgets/SettingsForm.h
    app/widgets/Style.cpp app/widgets/Style.h
    app/widgets/Symbols.cpp app/widgets/Symbols.h
    app/widgets/SymbolView.cpp app/widgets/SymbolView.h
    app/widgets/TabHeader.cpp app/widgets/TabHeader.h
    app/widgets/Theme.cpp app/widgets/Theme.h
    app/widgets/TickTable.cpp app/widgets/TickTable.h
)
# The application's own screens: the main window, the sidebar, settings and banners.
target_sources(quillmar_ui PRIVATE
    app/screens/AboutSettingsView.cpp app/screens/AboutSettingsView.h
    app/screens/DesktopIntegration.cpp app/screens/DesktopIntegration.h
    app/screens/FullDiskAccessBanner.cpp app/screens/FullDiskAccessBanner.h
    app/screens/FullDiskAccessRequestView.cpp app/screens/FullDiskAccessRequestView.h
    app/screens/GeneralSettingsView.cpp app/screens/GeneralSettingsView.h
    app/screens/MainContentView.cpp app/screens/MainContentView.h
    app/screens/MainWindow.cpp app/screens/MainWindow.h
    app/screens/PrivacySettingsView.cpp app/screens/PrivacySettingsView.h
    app/screens/ProgressBannerView.cpp app/screens/ProgressBannerView.h
    app/screens/SettingsTab.cpp app/screens/SettingsTab.h
    app/screens/SettingsView.cpp app/screens/SettingsView.h
    app/screens/SidebarLabel.cpp app/screens/SidebarLabel.h
    app/screens/SidebarView.cpp app/screens/SidebarView.h
    app/screens/TabCounts.cpp app/screens/TabCounts.h
)
