#include "docker/DockerViewModel.h"

#include "exec/AppHost.h"
#include "exec/ProcessRunner.h"
#include "platform/Locations.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtConcurrent>

#include <atomic>

namespace {

std::atomic_int gStatusTimeoutMs{10000};

QList<QJsonObject> jsonLines(const QString &output)
{
    QList<QJsonObject> objects;
    for (const QString &line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8());
        if (doc.isObject())
            objects.append(doc.object());
    }
    return objects;
}

QString textOr(const QJsonObject &o, const char *key, const QString &fallback)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isString() ? v.toString() : fallback;
}

QString singleQuoted(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

bool isLocalEndpoint(const QString &endpoint)
{
    return endpoint.isEmpty() || endpoint.startsWith(QLatin1String("unix://")) ||
           endpoint.startsWith(QLatin1String("npipe://"));
}

} // namespace

struct DockerViewModel::Stopper {
    CancelToken token;
};

DockerViewModel::DockerViewModel(QObject *parent)
    : QObject(parent), m_stopper(std::make_unique<Stopper>())
{
}

DockerViewModel::~DockerViewModel()
{
    m_stopper->token.cancel();
    waitForTasks();
}

void DockerViewModel::cancelWork()
{
    m_stopper->token.cancel();
    m_stopper->token = CancelToken();
}

void DockerViewModel::waitForTasks()
{
    m_work.waitForAll();
}

int DockerViewModel::statusTimeoutMs()
{
    return gStatusTimeoutMs.load();
}

void DockerViewModel::setStatusTimeoutMs(int ms)
{
    gStatusTimeoutMs.store(ms);
}

QString DockerViewModel::client()
{
    return singleQuoted(Locations::current().docker);
}

QString DockerViewModel::commandLine(const QString &arguments)
{
    return client() + QLatin1Char(' ') + arguments;
}

QList<DockerResource> DockerViewModel::parseImages(const QString &output)
{
    QList<DockerResource> list;
    for (const QJsonObject &o : jsonLines(output)) {
        DockerResource r;
        const QString repository = textOr(o, "Repository", QStringLiteral("<none>"));
        const QString tag = textOr(o, "Tag", QStringLiteral("<none>"));
        if (repository == QLatin1String("<none>")) {
            r.name = QStringLiteral("Dangling Image");
            r.status = QStringLiteral("dangling");
        } else {
            r.name = repository + QLatin1Char(':') + tag;
            r.status = QStringLiteral("active");
        }
        r.description = QStringLiteral("ID: ") + textOr(o, "ID", QString());
        r.size = textOr(o, "Size", QString());
        r.type = QStringLiteral("image");
        list.append(r);
    }
    return list;
}

QList<DockerResource> DockerViewModel::parseContainers(const QString &output)
{
    QList<DockerResource> list;
    for (const QJsonObject &o : jsonLines(output)) {
        DockerResource r;
        r.name = textOr(o, "Names", QString());
        r.description = textOr(o, "Status", QString());
        r.size = textOr(o, "Size", QStringLiteral("0B"));
        r.type = QStringLiteral("container");
        r.status = r.description.startsWith(QLatin1String("Up")) ? QStringLiteral("active")
                                                                 : QStringLiteral("exited");
        list.append(r);
    }
    return list;
}

QList<DockerResource> DockerViewModel::parseVolumes(const QString &output)
{
    QList<DockerResource> list;
    for (const QJsonObject &o : jsonLines(output)) {
        DockerResource r;
        r.name = textOr(o, "Name", QString());
        r.description = QStringLiteral("Volume");
        r.size = QStringLiteral("Unknown");
        r.type = QStringLiteral("volume");
        r.status = QStringLiteral("active");
        list.append(r);
    }
    return list;
}

namespace {

// The daemon endpoint from DOCKER_HOST or the client's current context; empty when it is
// a local socket or cannot be told.
QString remoteEndpoint(AppHost *appState, const CancelToken &cancel)
{
    using M = DockerViewModel;
    QString endpoint = qEnvironmentVariable("DOCKER_HOST").trimmed();
    if (endpoint.isEmpty()) {
        RunOptions options;
        options.cancel = cancel;
        options.timeoutMs = DockerViewModel::statusTimeoutMs();
        const RunResult r = ProcessRunner::runCommand(
            M::commandLine(QStringLiteral("context inspect --format '{{.Endpoints.docker.Host}}'")),
            appState, options);
        if (r.exitCode == 0)
            endpoint = r.stdOut.trimmed();
    }
    return isLocalEndpoint(endpoint) ? QString() : endpoint;
}

// The scan's work, blocking. `running` false means the lists were not read; `afterStatus`
// runs once the daemon has answered.
DockerViewModel::Lists fetch(AppHost *appState, const CancelToken &cancel,
                             const std::function<void()> &afterStatus)
{
    using M = DockerViewModel;
    M::Lists lists;
    if (appState)
        appState->setScanProgress(true, QStringLiteral("Checking Docker status..."), 0);
    RunOptions status;
    status.cancel = cancel;
    // A daemon that never answers must not leave the client (and the banner) hanging.
    status.timeoutMs = DockerViewModel::statusTimeoutMs();
    const RunResult info =
        ProcessRunner::runCommand(M::commandLine(QStringLiteral("info")), appState, status);
    // Some clients print the daemon's refusal yet exit 0.
    if (info.exitCode != 0 ||
        info.stdErr.contains(QLatin1String("permission denied while trying to connect")))
        return lists;
    lists.running = true;
    if (afterStatus)
        afterStatus();
    if (appState)
        appState->setScanProgress(true, QStringLiteral("Fetching precise JSON data from Docker..."),
                                  0);
    RunOptions listing;
    listing.cancel = cancel;
    lists.images = M::parseImages(
        ProcessRunner::runCommand(M::commandLine(QStringLiteral("image ls --format '{{json .}}'")),
                                  appState, listing)
            .stdOut);
    lists.containers = M::parseContainers(
        ProcessRunner::runCommand(M::commandLine(QStringLiteral("ps -a --format '{{json .}}'")),
                                  appState, listing)
            .stdOut);
    lists.volumes = M::parseVolumes(
        ProcessRunner::runCommand(M::commandLine(QStringLiteral("volume ls --format '{{json .}}'")),
                                  appState, listing)
            .stdOut);
    lists.remoteHost = remoteEndpoint(appState, cancel);
    return lists;
}

} // namespace

void DockerViewModel::scanDocker(AppHost *appState)
{
    start(QString(), QString(), appState);
}

void DockerViewModel::prune(const QString &type, AppHost *appState)
{
    QString command;
    if (type == QLatin1String("images"))
        command = commandLine(QStringLiteral("image prune -a -f"));
    else if (type == QLatin1String("containers"))
        command = commandLine(QStringLiteral("container prune -f"));
    else if (type == QLatin1String("volumes"))
        command = commandLine(QStringLiteral("volume prune -f"));
    else
        return;
    start(command, type, appState);
}

void DockerViewModel::start(const QString &pruneCommand, const QString &type, AppHost *appState)
{
    if (m_busy)
        return;
    m_pruning = !pruneCommand.isEmpty();
    setBusy(true);
    const CancelToken cancel = m_stopper->token;
    m_work.track(QtConcurrent::run([this, pruneCommand, type, appState, cancel] {
        if (!pruneCommand.isEmpty()) {
            if (appState)
                appState->setScanProgress(
                    true, QStringLiteral("Pruning ") + type + QStringLiteral("..."), 0);
            RunOptions options;
            options.cancel = cancel;
            ProcessRunner::runCommand(pruneCommand, appState, options);
        }
        const Lists lists = fetch(appState, cancel, [this] {
            // The daemon answers: the old lists go before the new ones are read.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    setRunning(true);
                    setLists(Lists{true, {}, {}, {}, m_remoteHost});
                },
                Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(
            this,
            [this, lists] {
                if (lists.running)
                    setLists(lists);
                else
                    setRunning(false);
                m_pruning = false;
                setBusy(false);
            },
            Qt::QueuedConnection);
        if (appState)
            appState->setScanProgress(false, QString(), 0);
    }));
}

void DockerViewModel::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
    emit changed();
}

void DockerViewModel::setRunning(bool running)
{
    if (m_isDockerRunning == running)
        return;
    m_isDockerRunning = running;
    emit isDockerRunningChanged(running);
    emit changed();
}

void DockerViewModel::setLists(const Lists &lists)
{
    m_images = lists.images;
    m_containers = lists.containers;
    m_volumes = lists.volumes;
    m_remoteHost = lists.remoteHost;
    emit listsChanged();
    emit changed();
}
