target_sources(quillmar_ui PRIVATE
    docker/screens/CategoryRow.cpp docker/screens/CategoryRow.h
    docker/screens/DockerView.cpp docker/screens/DockerView.h
)
