target_sources(quillmar_models PRIVATE
    dashboard/DashboardViewModel.cpp dashboard/DashboardViewModel.h
)
