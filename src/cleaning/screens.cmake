target_sources(quillmar_ui PRIVATE
    cleaning/CheckBoxDelegate.cpp cleaning/CheckBoxDelegate.h
    cleaning/DeepCleanView.cpp cleaning/DeepCleanView.h
    cleaning/JunkCleanerView.cpp cleaning/JunkCleanerView.h
    cleaning/TwoLineDelegate.cpp cleaning/TwoLineDelegate.h
)
