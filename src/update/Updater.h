#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>
#include <variant>

class QObject;

// Keeps the program current from its web site: reads the feed, compares versions, and
// installs a signed release archive in place of the running copy, then relaunches.
// No instances and no state of its own beyond the two preference values.
namespace Updater {

inline constexpr const char autoCheckKey[] = "checkForUpdatesAutomatically";
inline constexpr const char lastCheckKey[] = "lastUpdateCheck";
// Largest archive or signature accepted; anything bigger is not ours.
inline constexpr qint64 downloadLimit = qint64(1) << 30;

// The update site, no trailing slash ("QUILLMAR_UPDATE_BASE" when set).
QString base();
QUrl feed();
// The running build's number, "0" when the build has none.
QString currentVersion();

struct Release {
    QString version;
    QStringList notes;
    // The package holding this copy when the package manager installed it, which then
    // updates it instead of the updater. Set by latest(), never read from the feed.
    QString package = {};
    bool operator==(const Release &other) const = default;
    // The archive for this machine and its detached signature.
    QUrl archive() const;
    QUrl signature() const;
};

// A failure the dialog shows as it is.
struct Failure {
    QString message;
};

using LatestResult = std::variant<Release, Failure>;

bool isNewer(const QString &a, const QString &than);
// A version that may go into a download address: letters, digits, ".", "_", "+", "-"
// and no "..".
bool isSafeVersion(const QString &version);
// The feed body to a release, or the unreadable-feed failure.
LatestResult parseFeed(const QByteArray &body);
// Whether the last check (seconds since 1970) is old enough at `now`; a last check in
// the future (a clock that was wrong) counts as due.
bool isCheckDue(double lastCheck, double now);

// The blocking forms: they wait on the network and tools, so call them off the main
// thread (tests call them directly).
// The feed's answer; one read in the last minute from the same address is reused.
LatestResult fetchLatest();
// The package that installed the running program, as the package manager names it;
// nothing for a copy no package owns.
std::optional<QString> owningPackage();
std::optional<Release> runBackgroundCheck(double now);
// `progress` is called on the calling thread. On success the new copy is in place and
// the relaunch has been asked for.
std::optional<Failure> runInstall(const Release &release,
                                  const std::function<void(const QString &)> &progress);

// The asynchronous forms: the work runs on the pool, `done` and `progress` on the main
// thread, and nothing arrives once `context` is gone. latest() also names the owning
// package; backgroundCheck() offers nothing to a copy a package owns.
void latest(QObject *context, std::function<void(LatestResult)> done);
void backgroundCheck(QObject *context, std::function<void(std::optional<Release>)> done);
// After a successful install the program is asked to quit.
void install(const Release &release, QObject *context,
             std::function<void(const QString &)> progress,
             std::function<void(std::optional<Failure>)> done);

// Ends every check and download in flight at once (they fail), and any started later:
// quitting must not wait for a network that does not answer.
void stopAll();
void resetStopAll();

// The `Quillmar/` folder that holds the running program when it carries the release
// keyring; nothing for a copy with no signature to compare with.
std::optional<QString> runningCopy();

// Seams for tests (set before use, from the main thread).
void setBase(const QString &base);
void setCurrentVersion(const QString &version);
void setRunningCopy(const QString &folder);
// Replaces starting the relaunch shell and quitting; `start` gets the shell's path and
// its arguments and answers whether it started.
void setLauncher(std::function<bool(const QString &, const QStringList &)> start,
                 std::function<void()> quit);
// Whether the one-step exchange of the two folders may be used (false: two moves).
void setExchangeAvailable(bool available);
// Runs between moving the old copy to the Trash and moving the new one in.
void setBetweenMovesHook(std::function<void()> hook);
// Also forgets the last feed answer.
void resetSeams();

} // namespace Updater
