#pragma once

#include "exec/BackgroundWork.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>

class AppHost;

// One image, container or volume as the Docker client lists it.
struct DockerResource {
    QUuid id = QUuid::createUuid();
    QString name;
    QString description;
    QString size;   // as Docker prints it, never parsed
    QString type;   // "image", "container" or "volume"
    QString status; // "active", "dangling" or "exited"
};

// The Docker tab's model: asks the client whether the daemon answers, reads the three
// lists (one JSON object per line) and runs Docker's own prune commands. Lives on the
// main thread; one scan or prune runs at a time.
class DockerViewModel : public QObject {
    Q_OBJECT

public:
    explicit DockerViewModel(QObject *parent = nullptr);
    // Stops the client it is waiting on, then waits for its work.
    ~DockerViewModel() override;

    QList<DockerResource> images() const { return m_images; }
    QList<DockerResource> containers() const { return m_containers; }
    QList<DockerResource> volumes() const { return m_volumes; }
    bool isDockerRunning() const { return m_isDockerRunning; }
    // The daemon's address when it is not a socket on this computer; empty otherwise.
    QString remoteHost() const { return m_remoteHost; }
    // A scan or a prune is running (a show then starts nothing, prune is disabled).
    bool isBusy() const { return m_busy; }
    bool isPruning() const { return m_pruning; }
    // What Docker said the last prune reclaimed, as it prints it ("1.2GB"); empty when
    // it did not say.
    QString reclaimed() const { return m_reclaimed; }
    // The figure after "Total reclaimed space:" in a prune's output.
    static QString reclaimedIn(const QString &output);
    // Why the last scan or prune ended early (a client stopped at its time limit); empty
    // when it ran through. Cleared when the next one starts.
    QString errorMessage() const { return m_errorMessage; }

    // Asynchronous; does nothing while a scan or prune runs.
    void scanDocker(AppHost *appState);
    // Asynchronous: "images", "containers" or "volumes"; anything else does nothing.
    void prune(const QString &type, AppHost *appState);

    // The client's path as the command lines carry it (single-quoted).
    static QString client();
    static QString commandLine(const QString &arguments);
    // How long each client call may take before it is stopped with what it started; a
    // prune, which the daemon may spend minutes on, gets longer.
    static int statusTimeoutMs();
    static void setStatusTimeoutMs(int ms); // for tests
    static constexpr int pruneTimeoutMs = 10 * 60 * 1000;

    struct Lists {
        bool running = false;
        QList<DockerResource> images, containers, volumes;
        QString remoteHost;
        QString error; // a call that got no answer in time; nothing after it ran
    };
    static QList<DockerResource> parseImages(const QString &output);
    static QList<DockerResource> parseContainers(const QString &output);
    static QList<DockerResource> parseVolumes(const QString &output);
    // Stops the clients this model is waiting on (quitting); later scans run as usual.
    void cancelWork();

    // For tests: blocks until every background task started so far has ended.
    void waitForTasks();

signals:
    void changed();
    void listsChanged();
    void isDockerRunningChanged(bool running);
    void busyChanged(bool busy);
    void errorMessageChanged(const QString &message);
    // A prune has ended and the lists have been read again.
    void pruned(const QString &reclaimed);

private:
    // Runs the prune first when given its arguments, then reads the lists.
    void start(const QString &pruneArguments, const QString &type, AppHost *appState);
    void setBusy(bool busy);
    void setRunning(bool running);
    void setErrorMessage(const QString &message);
    void setLists(const Lists &lists);

    QList<DockerResource> m_images, m_containers, m_volumes;
    bool m_isDockerRunning = false;
    QString m_remoteHost;
    bool m_busy = false;
    bool m_pruning = false;
    QString m_errorMessage;
    QString m_reclaimed;
    struct Stopper; // the cancel token of this model's runs
    std::unique_ptr<Stopper> m_stopper;
    BackgroundWork m_work;
};
