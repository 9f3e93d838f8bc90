target_sources(quillmar_ui PRIVATE
    homebrew/screens/HomebrewExtras.cpp homebrew/screens/HomebrewExtras.h
    homebrew/screens/HomebrewSettingsView.cpp homebrew/screens/HomebrewSettingsView.h
    homebrew/screens/HomebrewView.cpp homebrew/screens/HomebrewView.h
)
