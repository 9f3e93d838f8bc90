target_sources(quillmar_ui PRIVATE
    cleaning/screens/DeepCleanView.cpp cleaning/screens/DeepCleanView.h
    cleaning/screens/JunkCleanerView.cpp cleaning/screens/JunkCleanerView.h
    cleaning/screens/TwoLineDelegate.cpp cleaning/screens/TwoLineDelegate.h
)
