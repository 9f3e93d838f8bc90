#pragma once

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>

class QFileSystemWatcher;
class QTimer;

// Notices applications arriving in the user's Trash: ".app" bundles on macOS, AppImages
// on Linux. Each arrival is reported once, with where it now is and where it came from.
// Lives on the main thread; events are delivered there.
class TrashWatcher : public QObject {
    Q_OBJECT
public:
    using Callback = std::function<void(const QString &pathInTrash, const QString &originalPath)>;

    explicit TrashWatcher(Callback onAppTrashed, QObject *parent = nullptr);
    ~TrashWatcher() override;

    // Creates the Trash folders when missing and watches them; what is there already is
    // never reported. No effect when already watching.
    void start();
    void stop();
    bool isWatching() const { return m_source != nullptr; }
    QString trash() const { return m_trash; }

    // Compares the Trash with the last look and reports arrivals in name order. The
    // folder's change events call it; tests may too.
    void check();

    // The application entries of a Trash folder: entry name → original path (from the
    // entry's .trashinfo, else the entry's own path). Links are never applications.
    static QMap<QString, QString> apps(const QString &trash, const QString &infoFolder);

private:
    void folderChanged();
    void rearm();

    Callback m_onAppTrashed;
    QString m_trash;
    QString m_info;
    QSet<QString> m_known;
    QFileSystemWatcher *m_source = nullptr;
    QTimer *m_rearmTimer = nullptr;
};
