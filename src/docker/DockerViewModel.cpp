#include "docker/DockerViewModel.h"

#include "exec/AppHost.h"
#include "exec/Background.h"
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

// One client call under the given limit; a call that runs out of time leaves its reason
// in `error`.
RunResult call(const QString &arguments, AppHost *appState, const CancelToken &cancel,
               int timeoutMs, QString &error)
{
    RunOptions options;
    options.cancel = cancel;
    options.timeoutMs = timeoutMs;
    const RunResult result =
        ProcessRunner::runCommand(DockerViewModel::commandLine(arguments), appState, options);
    if (result.timedOut) {
        const int seconds = (timeoutMs + 999) / 1000;
        error = QStringLiteral("\u201Cdocker %1\u201D got no answer within %2 and was stopped.")
                    .arg(arguments.section(QLatin1Char(' '), 0, 1),
                         seconds == 1 ? QStringLiteral("1 second")
                                      : QStringLiteral("%1 seconds").arg(seconds));
    }
    return result;
}

// The daemon endpoint from DOCKER_HOST or the client's current context; empty when it is
// a local socket or cannot be told.
QString remoteEndpoint(AppHost *appState, const CancelToken &cancel, QString &error)
{
    QString endpoint = qEnvironmentVariable("DOCKER_HOST").trimmed();
    if (endpoint.isEmpty()) {
        const RunResult r =
            call(QStringLiteral("context inspect --format '{{.Endpoints.docker.Host}}'"), appState,
                 cancel, DockerViewModel::statusTimeoutMs(), error);
        if (r.exitCode == 0)
            endpoint = r.stdOut.trimmed();
    }
    return isLocalEndpoint(endpoint) ? QString() : endpoint;
}

// The scan's work, blocking. `running` false means the lists were not read; `afterStatus`
// runs once the daemon has answered. Every call has the status limit: a daemon that
// answers one and hangs on the next must not leave the tab busy for ever.
DockerViewModel::Lists fetch(AppHost *appState, const CancelToken &cancel,
                             const std::function<void()> &afterStatus)
{
    using M = DockerViewModel;
    M::Lists lists;
    const int limit = M::statusTimeoutMs();
    if (appState)
        appState->setScanProgress(true, QStringLiteral("Checking Docker status..."), 0);
    const RunResult info = call(QStringLiteral("info"), appState, cancel, limit, lists.error);
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
    const auto list = [&](const char *arguments) {
        if (!lists.error.isEmpty())
            return QString();
        return call(QLatin1String(arguments), appState, cancel, limit, lists.error).stdOut;
    };
    lists.images = M::parseImages(list("image ls --format '{{json .}}'"));
    lists.containers = M::parseContainers(list("ps -a --format '{{json .}}'"));
    lists.volumes = M::parseVolumes(list("volume ls --format '{{json .}}'"));
    if (lists.error.isEmpty())
        lists.remoteHost = remoteEndpoint(appState, cancel, lists.error);
    return lists;
}

} // namespace

QString DockerViewModel::reclaimedIn(const QString &output)
{
    static const QLatin1String label("Total reclaimed space:");
    const qsizetype at = output.lastIndexOf(label);
    if (at < 0)
        return {};
    return output.mid(at + label.size()).section(QLatin1Char('\n'), 0, 0).trimmed();
}

void DockerViewModel::scanDocker(AppHost *appState)
{
    start(QString(), QString(), appState);
}

void DockerViewModel::prune(const QString &type, AppHost *appState)
{
    QString arguments;
    if (type == QLatin1String("images"))
        arguments = QStringLiteral("image prune -a -f");
    else if (type == QLatin1String("containers"))
        arguments = QStringLiteral("container prune -f");
    else if (type == QLatin1String("volumes"))
        arguments = QStringLiteral("volume prune -f");
    else
        return;
    start(arguments, type, appState);
}

void DockerViewModel::start(const QString &pruneArguments, const QString &type, AppHost *appState)
{
    if (m_busy)
        return;
    m_pruning = !pruneArguments.isEmpty();
    setErrorMessage(QString());
    setBusy(true);
    const CancelToken cancel = m_stopper->token;
    m_work.track(Background::start([this, pruneArguments, type, appState, cancel] {
        QString pruneError;
        QString reclaimed;
        if (!pruneArguments.isEmpty()) {
            if (appState)
                appState->setScanProgress(
                    true, QStringLiteral("Pruning ") + type + QStringLiteral("..."), 0);
            reclaimed = reclaimedIn(
                call(pruneArguments, appState, cancel, pruneTimeoutMs, pruneError).stdOut);
        }
        // After a prune that got no answer the daemon is not asked again.
        const Lists lists = !pruneError.isEmpty() ? Lists{} : fetch(appState, cancel, [this] {
            // The daemon answers: the old lists go before the new ones are read.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    setRunning(true);
                    setLists(Lists{true, {}, {}, {}, m_remoteHost, {}});
                },
                Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(
            this,
            [this, lists, pruneError, reclaimed] {
                if (lists.running)
                    setLists(lists);
                else if (pruneError.isEmpty())
                    setRunning(false);
                setErrorMessage(pruneError.isEmpty() ? lists.error : pruneError);
                const bool pruned = m_pruning && pruneError.isEmpty();
                m_pruning = false;
                if (pruned)
                    m_reclaimed = reclaimed;
                setBusy(false);
                if (pruned)
                    emit this->pruned(reclaimed);
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

void DockerViewModel::setErrorMessage(const QString &message)
{
    if (m_errorMessage == message)
        return;
    m_errorMessage = message;
    emit errorMessageChanged(message);
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
