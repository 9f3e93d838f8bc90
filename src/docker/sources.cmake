target_sources(quillmar_core PRIVATE
    docker/DockerViewModel.cpp docker/DockerViewModel.h
)
