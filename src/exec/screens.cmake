target_sources(quillmar_ui PRIVATE
    exec/TerminalSheetView.cpp exec/TerminalSheetView.h
)
