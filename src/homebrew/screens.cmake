target_sources(quillmar_ui PRIVATE
    homebrew/HomebrewExtras.cpp homebrew/HomebrewExtras.h
    homebrew/HomebrewSettingsView.cpp homebrew/HomebrewSettingsView.h
    homebrew/HomebrewView.cpp homebrew/HomebrewView.h
)
