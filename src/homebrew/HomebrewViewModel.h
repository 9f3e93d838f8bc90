#pragma once

#include "exec/BackgroundWork.h"
#include "homebrew/BrewPackage.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class AppHost;

// The Homebrew tab's model: the installed formulae and casks, and the one command the
// terminal sheet is asked to run. It never changes the installation itself: every change
// is published as a title and a quoted command line. Lives on the main thread.
class HomebrewViewModel : public QObject {
    Q_OBJECT

public:
    explicit HomebrewViewModel(QObject *parent = nullptr);
    // Waits for the scans still running, which publish through this object.
    ~HomebrewViewModel() override;

    QList<BrewPackage> packages() const { return m_packages; }
    bool isBrewInstalled() const { return m_isBrewInstalled; }
    std::optional<QString> activeStreamCommand() const { return m_activeStreamCommand; }
    std::optional<QString> activeStreamTitle() const { return m_activeStreamTitle; }

    // Asynchronous: refreshes `isBrewInstalled` and `packages`.
    void scanHomebrew(AppHost *appState);
    // Publishes the title and Brew::command(arguments); runs nothing.
    void stream(const QString &title, const QStringList &arguments);
    // The sheet has closed: no command is active any more.
    void clearStream();

    // The changes of the installed list, each published through the stream.
    void upgradeAll();
    void updatePackageLists();
    void cleanUp();
    void removeUnusedDependencies();
    void runDoctor();
    void upgrade(const BrewPackage &package);
    void uninstall(const BrewPackage &package);
    void reinstall(const BrewPackage &package);
    void togglePin(const BrewPackage &package);

    // The scan's work, synchronous: call off the main thread. `installed` false when
    // "--version" failed (the packages are then empty and must not be published).
    struct ScanResult {
        bool installed = false;
        QList<BrewPackage> packages;
    };
    static ScanResult collect(AppHost *appState);

    // Pieces of the scan, for tests.
    struct Outdated {
        QSet<QString> formulae;
        QSet<QString> casks;
    };
    static Outdated parseOutdated(const QByteArray &json);
    static QList<BrewPackage> parseInstalled(const QByteArray &json, const QString &prefix,
                                             const Outdated &outdated);
    // Size, modification day and, when missing, install date from the disk.
    static void measure(BrewPackage &package);
    // The prefix the installation folders hang off: the executable's, or what
    // "brew --prefix" says when that holds no Cellar (a linked executable).
    static QString installPrefix(const QString &brewPath);

    // For tests: blocks until every scan started so far has ended.
    void waitForTasks();

signals:
    void changed();
    void packagesChanged();
    void isBrewInstalledChanged(bool value);
    void activeStreamChanged();

private:
    void setPackages(const QList<BrewPackage> &packages);
    void setIsBrewInstalled(bool value);
    void setStream(const std::optional<QString> &title, const std::optional<QString> &command);

    QList<BrewPackage> m_packages;
    bool m_isBrewInstalled = true;
    std::optional<QString> m_activeStreamCommand;
    std::optional<QString> m_activeStreamTitle;
    quint64 m_scanGeneration = 0;
    BackgroundWork m_work;
};
