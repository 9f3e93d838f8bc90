target_sources(quillmar_engine PRIVATE
    homebrew/Brew.cpp homebrew/Brew.h
    homebrew/BrewListing.cpp homebrew/BrewListing.h
    homebrew/BrewPackage.cpp homebrew/BrewPackage.h
)
target_sources(quillmar_models PRIVATE
    homebrew/HomebrewViewModel.cpp homebrew/HomebrewViewModel.h
)
