#pragma once

#include <QWidget>

class AppState;

// The full-window request for Full Disk Access, shown instead of the tabs until access
// arrives or the user continues without it.
class FullDiskAccessRequestView : public QWidget {
    Q_OBJECT
public:
    explicit FullDiskAccessRequestView(AppState *appState, QWidget *parent = nullptr);
};
