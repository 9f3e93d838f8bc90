target_sources(quillmar_core PRIVATE
    app/AppState.cpp app/AppState.h
    app/TabNavigation.cpp app/TabNavigation.h
)
target_sources(quillmar_ui PRIVATE
    app/MainWindow.cpp app/MainWindow.h
)
