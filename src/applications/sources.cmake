target_sources(quillmar_core PRIVATE
    applications/AppLeftovers.cpp applications/AppLeftovers.h
    applications/LeftoverReport.h
)
