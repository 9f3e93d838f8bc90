target_sources(quillmar_ui PRIVATE
    dashboard/DashboardView.cpp dashboard/DashboardView.h
    dashboard/MetricCard.cpp dashboard/MetricCard.h
    dashboard/RecommendationCard.cpp dashboard/RecommendationCard.h
    dashboard/SegmentedHorizontalBarChart.cpp dashboard/SegmentedHorizontalBarChart.h
)
