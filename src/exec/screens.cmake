target_sources(quillmar_ui PRIVATE
    exec/screens/TerminalSheetView.cpp exec/screens/TerminalSheetView.h
)
