#pragma once

#include "platform/FullDiskAccess.h"
#include "platform/Locations.h"
#include "platform/Preferences.h"
#include "platform/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QTemporaryDir>

#include <filesystem>
#include <system_error>

// A throw-away home, preferences file and log for one test object; the access probe
// answers yes.
class TestEnvironment {
public:
    TestEnvironment()
    {
        QDir().mkpath(m_dir.path() + "/home");
        Locations loc = Locations::forOs(Locations::Os::Linux, home());
        // This machine's own menu stays out of a test's home; a test adds folders it made.
        loc.menuEntryFolders = {loc.userDesktopEntries};
        // Nor does a test run the machine's package tools: it points at stand-ins it wrote.
        for (QString *tool : {&loc.dpkg, &loc.dpkgQuery, &loc.rpm, &loc.dnf, &loc.aptGet, &loc.apt,
                              &loc.pkexec, &loc.snap, &loc.flatpak, &loc.journalctl})
            *tool = m_dir.path() + "/no-such-tool/" + QFileInfo(*tool).fileName();
        loc.dpkgSystem = m_dir.path() + "/no-such-tool/status";
        // The program's own files stay out of the home the tests measure.
        loc.configFolder = m_dir.path() + "/config";
        loc.stateFolder = m_dir.path() + "/state";
        loc.cacheFolder = m_dir.path() + "/cache";
        Locations::setCurrent(loc);
        Preferences::useStoreFile(m_dir.path() + "/prefs.ini");
        SystemLog::setCapture([this](SystemLog::Level level, const QString &text) {
            QMutexLocker lock(&m_logMutex);
            m_log.append({level, text});
        });
        FullDiskAccess::setProbe([] { return true; });
    }
    ~TestEnvironment()
    {
        FullDiskAccess::setProbe({});
        SystemLog::setCapture({});
        Preferences::useStoreFile(QString());
        Locations::resetCurrent();
        // QTemporaryDir removes by text and leaves names that are not valid UTF-8 behind.
        std::error_code ignored;
        std::filesystem::remove_all(
            std::filesystem::path(QFile::encodeName(m_dir.path()).toStdString()), ignored);
    }

    QString root() const { return m_dir.path(); }
    QString home() const { return m_dir.path() + "/home"; }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    // Changes the current table; the home stays.
    template <typename Edit> void editLocations(Edit edit)
    {
        Locations loc = Locations::current();
        edit(loc);
        Locations::setCurrent(loc);
    }

    QList<QPair<SystemLog::Level, QString>> log() const
    {
        QMutexLocker lock(&m_logMutex);
        return m_log;
    }
    void clearLog()
    {
        QMutexLocker lock(&m_logMutex);
        m_log.clear();
    }

private:
    QTemporaryDir m_dir;
    mutable QMutex m_logMutex;
    QList<QPair<SystemLog::Level, QString>> m_log;
};
