target_sources(quillmar_state PRIVATE
    app/AppState.cpp app/AppState.h
    app/StallRecorder.cpp app/StallRecorder.h
    app/TabNavigation.cpp app/TabNavigation.h
)
