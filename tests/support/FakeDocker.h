#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

// A stand-in Docker client: answers the command lines the Docker tab sends from files in
// its own folder and records every call. Touch "down", "denied" or "hang" in the folder to
// make `info` fail, be refused or never answer; "hang-images" makes `image ls` never
// answer; "slowprune" makes a prune take 2 s.
class FakeDocker {
public:
    // `folder` may hold blanks and quotes: the client path must reach the shell quoted.
    explicit FakeDocker(const QString &folder) : m_dir(folder)
    {
        QDir().mkpath(folder);
        write(QStringLiteral("docker"), R"(#!/bin/sh
d=$(dirname "$0")
printf '%s\n' "$*" >> "$d/calls"
hang() { if [ -e "$d/$1" ]; then sleep 30 & echo $! > "$d/sleep.pid"; wait; fi; }
case "$*" in
info)
  hang hang
  if [ -e "$d/down" ]; then
    echo "Cannot connect to the Docker daemon at unix:///var/run/docker.sock." >&2; exit 1
  fi
  if [ -e "$d/denied" ]; then
    echo "permission denied while trying to connect to the Docker daemon socket" >&2; exit 1
  fi
  echo "Server Version: 99.0-fake" ;;
"image ls --format {{json .}}") hang hang-images; cat "$d/images" 2>/dev/null ;;
"ps -a --format {{json .}}") cat "$d/containers" 2>/dev/null ;;
"volume ls --format {{json .}}") cat "$d/volumes" 2>/dev/null ;;
"context inspect --format {{.Endpoints.docker.Host}}")
  cat "$d/endpoint" 2>/dev/null || echo unix:///var/run/docker.sock ;;
"image prune -a -f"|"container prune -f"|"volume prune -f")
  if [ -e "$d/slowprune" ]; then sleep 2; fi
  echo "Total reclaimed space: 0B" ;;
*) echo "unknown command: $*" >&2; exit 2 ;;
esac
)");
        QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ExeOther |
                                          QFileDevice::ReadOther);
    }

    QString path() const { return m_dir.filePath(QStringLiteral("docker")); }
    QString folder() const { return m_dir.path(); }

    void write(const QString &name, const QByteArray &content) const
    {
        QFile f(m_dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(f.fileName()));
    }
    void touch(const QString &marker) const { write(marker, {}); }
    void remove(const QString &marker) const { QFile::remove(m_dir.filePath(marker)); }

    QStringList calls() const
    {
        QFile f(m_dir.filePath(QStringLiteral("calls")));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void clearCalls() const { QFile::remove(m_dir.filePath(QStringLiteral("calls"))); }

private:
    QDir m_dir;
};
