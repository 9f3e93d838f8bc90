target_sources(quillmar_ui PRIVATE
    finders/screens/DuplicatesView.cpp finders/screens/DuplicatesView.h
    finders/screens/FileMetadataPreview.cpp finders/screens/FileMetadataPreview.h
    finders/screens/FilePreviewPane.cpp finders/screens/FilePreviewPane.h
    finders/screens/FinderRemoval.cpp finders/screens/FinderRemoval.h
    finders/screens/GenericFileListView.cpp finders/screens/GenericFileListView.h
    finders/screens/RuntimeDetailPreview.cpp finders/screens/RuntimeDetailPreview.h
    finders/screens/StackedTextDelegate.cpp finders/screens/StackedTextDelegate.h
)
