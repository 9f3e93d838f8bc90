target_sources(quillmar_ui PRIVATE
    dashboard/screens/DashboardView.cpp dashboard/screens/DashboardView.h
    dashboard/screens/MetricCard.cpp dashboard/screens/MetricCard.h
    dashboard/screens/RecommendationCard.cpp dashboard/screens/RecommendationCard.h
    dashboard/screens/SegmentedHorizontalBarChart.cpp dashboard/screens/SegmentedHorizontalBarChart.h
)
