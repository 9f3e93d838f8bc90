target_sources(quillmar_core PRIVATE
    homebrew/Brew.cpp homebrew/Brew.h
    homebrew/BrewListing.cpp homebrew/BrewListing.h
    homebrew/BrewPackage.cpp homebrew/BrewPackage.h
    homebrew/HomebrewViewModel.cpp homebrew/HomebrewViewModel.h
)
