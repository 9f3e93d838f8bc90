target_sources(quillmar_ui PRIVATE
    removal/screens/ExclusionsSettingsView.cpp removal/screens/ExclusionsSettingsView.h
    removal/screens/RecentlyRemovedSheet.cpp removal/screens/RecentlyRemovedSheet.h
    removal/screens/UndoNotice.cpp removal/screens/UndoNotice.h
)
