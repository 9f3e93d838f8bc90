#pragma once

#include "exec/CancelToken.h"

#include <QList>
#include <QPushButton>
#include <QString>

#include <functional>
#include <memory>

class QMenu;
class QTimer;

// "Export…" in a tab's header: a menu of formats, a save dialog, the writing on the
// thread pool with its progress on the button, and an alert when it fails. While a file
// is written the button is disabled and isRunning() holds the tab's window open.
class ExportButton : public QPushButton {
    Q_OBJECT
public:
    // Writes the file; returns why not, empty when done. Runs on the thread pool.
    using Work = std::function<QString(const QString &fileName, const CancelToken &cancel)>;

    struct Format {
        QString label;  // "CSV…"
        QString filter; // "CSV files (*.csv)"
        QString suffix; // "csv"
        // Called on the main thread when chosen: takes what to write (a copy of the
        // rows, the folder) and hands back the work. Nothing: there is nothing to export.
        std::function<std::optional<Work>()> prepare;
    };

    // The two formats of a list: `snapshot` takes the rows on the main thread and hands
    // back what writes them on the pool (true: CSV, false: JSON); an empty function when
    // there are none.
    using Snapshot = std::function<std::function<QByteArray(bool csv)>()>;
    static QList<Format> csvAndJson(Snapshot snapshot);

    ExportButton(QList<Format> formats, std::function<QString()> suggestedName,
                 QWidget *parent = nullptr);
    ~ExportButton() override;

    // The text shown on the button while a file is written ("12,000 items").
    void setProgress(std::function<QString()> progress) { m_progressText = std::move(progress); }
    bool isRunning() const { return m_running; }
    QMenu *formatMenu() const { return m_menu; }
    // Writes format `index` to the file, as the save dialog's answer does.
    void exportTo(int index, const QString &fileName);

signals:
    // A file was written, or not: `error` says why not (empty when done or stopped).
    void exportFinished(const QString &fileName, const QString &error);

private:
    void choose(int index);
    void setRunning(bool running);

    QList<Format> m_formats;
    std::function<QString()> m_suggestedName;
    std::function<QString()> m_progressText;
    QMenu *m_menu;
    QTimer *m_ticker;
    CancelToken m_cancel;
    bool m_running = false;
};
