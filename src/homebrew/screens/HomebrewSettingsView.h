#pragma once

#include "app/widgets/SettingsForm.h"

class DetailRow;
class QLineEdit;

// The Settings window's Homebrew pane: where brew is, its version, and a path that
// overrides the automatic choice (used from the next scan on).
class HomebrewSettingsView : public SettingsForm {
    Q_OBJECT
public:
    explicit HomebrewSettingsView(QWidget *parent = nullptr);

    QString brewPathText() const;
    QString prefixText() const;
    QString versionText() const;
    QString noteText() const;
    QLineEdit *customField() const { return m_custom; }

    // "Not found" for a failing run, else the first line without "Homebrew ".
    static QString versionFrom(int exitCode, const QString &output);

signals:
    void versionDetected();

private:
    void refresh();
    void detectVersion();
    void updateNote();

    DetailRow *m_path;
    DetailRow *m_prefix;
    DetailRow *m_version;
    QLineEdit *m_custom;
    Note *m_note;
    quint64 m_generation = 0;
};
