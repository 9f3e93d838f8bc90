#pragma once

#include <QWidget>

// Icon, name, version, tagline and the web links.
class AboutSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit AboutSettingsView(QWidget *parent = nullptr);
};
