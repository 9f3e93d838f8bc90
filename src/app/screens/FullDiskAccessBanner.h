#pragma once

#include <QWidget>

class AppState;

// The orange strip shown while the user works without Full Disk Access.
class FullDiskAccessBanner : public QWidget {
    Q_OBJECT
public:
    explicit FullDiskAccessBanner(AppState *appState, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
