target_sources(quillmar_ui PRIVATE
    docker/CategoryRow.cpp docker/CategoryRow.h
    docker/DockerView.cpp docker/DockerView.h
)
