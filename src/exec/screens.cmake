target_sources(quillmar_ui PRIVATE
    exec/screens/ExclusionsSettingsView.cpp exec/screens/ExclusionsSettingsView.h
    exec/screens/RecentlyRemovedSheet.cpp exec/screens/RecentlyRemovedSheet.h
    exec/screens/TerminalSheetView.cpp exec/screens/TerminalSheetView.h
    exec/screens/UndoNotice.cpp exec/screens/UndoNotice.h
)
