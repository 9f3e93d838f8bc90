target_sources(quillmar_engine PRIVATE
    exec/AppHost.h
    exec/Async.h
    exec/Background.cpp exec/Background.h
    exec/BackgroundWork.cpp exec/BackgroundWork.h
    exec/CancelToken.h
    exec/RemovalJournal.cpp exec/RemovalJournal.h
    exec/ProcessRunner.cpp exec/ProcessRunner.h
    exec/SafetyHelper.cpp exec/SafetyHelper.h
    exec/ScanProgress.cpp exec/ScanProgress.h
    exec/ThreadPriority.cpp exec/ThreadPriority.h
)
target_sources(quillmar_engine PRIVATE
    exec/TerminalStream.cpp exec/TerminalStream.h
)
target_sources(quillmar_models PRIVATE
    exec/ExclusionsViewModel.cpp exec/ExclusionsViewModel.h
    exec/RecentlyRemovedViewModel.cpp exec/RecentlyRemovedViewModel.h
)
