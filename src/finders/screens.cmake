target_sources(quillmar_ui PRIVATE
    finders/DuplicatesView.cpp finders/DuplicatesView.h
    finders/FileMetadataPreview.cpp finders/FileMetadataPreview.h
    finders/FilePreviewPane.cpp finders/FilePreviewPane.h
    finders/FinderRemoval.cpp finders/FinderRemoval.h
    finders/GenericFileListView.cpp finders/GenericFileListView.h
    finders/RowButtonDelegate.cpp finders/RowButtonDelegate.h
    finders/RuntimeDetailPreview.cpp finders/RuntimeDetailPreview.h
    finders/ScanStateStack.cpp finders/ScanStateStack.h
    finders/StackedTextDelegate.cpp finders/StackedTextDelegate.h
)
