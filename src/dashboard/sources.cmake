target_sources(quillmar_core PRIVATE
    dashboard/DashboardViewModel.cpp dashboard/DashboardViewModel.h
)
