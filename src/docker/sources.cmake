target_sources(quillmar_models PRIVATE
    docker/DockerViewModel.cpp docker/DockerViewModel.h
)
