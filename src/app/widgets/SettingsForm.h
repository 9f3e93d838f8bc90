#pragma once

#include <QLabel>
#include <QScrollArea>

class QVBoxLayout;

// The pieces every Settings pane is made of: a scrolling form of titled sections, each
// with controls and explanatory notes.
class SettingsForm : public QScrollArea {
    Q_OBJECT
public:
    explicit SettingsForm(QWidget *parent = nullptr);
    // A new titled section, appended; add controls to its layout.
    QVBoxLayout *addSection(const QString &title, const QString &footer = QString());
    void addStretch();

private:
    QVBoxLayout *m_layout;
};

// One explanation under a control, shown verbatim in the caption font, secondary colour.
class Note : public QLabel {
    Q_OBJECT
public:
    explicit Note(const QString &text, QWidget *parent = nullptr);
};
