target_sources(quillmar_ui PRIVATE
    update/screens/UpdateDialogView.cpp update/screens/UpdateDialogView.h
)
