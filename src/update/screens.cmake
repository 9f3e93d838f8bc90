target_sources(quillmar_ui PRIVATE
    update/UpdateDialogView.cpp update/UpdateDialogView.h
)
