target_sources(quillmar_core PRIVATE
    exec/ProcessRunner.cpp exec/ProcessRunner.h
    exec/SafetyHelper.cpp exec/SafetyHelper.h
)
