#pragma once

#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

// Stand-ins for system tools (dpkg, apt-get, snap, journalctl, …): each prints what the
// test gave it, exits with the code given, and records its arguments. A tool's answer
// may depend on its first argument: answer("dpkg", "-S", …) is used when it starts so.
class FakeTools {
public:
    explicit FakeTools(const QString &folder) : m_dir(folder) { QDir().mkpath(folder); }

    // Writes the tool and returns its path.
    QString tool(const QString &name)
    {
        const QString script = QStringLiteral(R"SH(#!/bin/sh
d='%1'
{ printf '%s' '%2'; for a in "$@"; do printf '\036%s' "$a"; done; printf '\035'; } >> "$d/calls"
key="%2"
[ -f "$d/%2.$1.out" ] && key="%2.$1"
[ -f "$d/$key.out" ] && cat "$d/$key.out"
code=0
[ -f "$d/$key.code" ] && code=$(cat "$d/$key.code")
exit "$code"
)SH")
                                   .arg(m_dir.path(), name);
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(file.fileName()));
        file.write(script.toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return file.fileName();
    }

    void answer(const QString &name, const QByteArray &out, int exitCode = 0,
                const QString &firstArgument = QString())
    {
        const QString key = firstArgument.isEmpty() ? name : name + '.' + firstArgument;
        write(key + ".out", out);
        write(key + ".code", QByteArray::number(exitCode));
    }

    // Every call so far: the tool's name, then its arguments.
    QList<QStringList> calls() const
    {
        QFile file(m_dir.filePath("calls"));
        QList<QStringList> out;
        if (!file.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray &record : file.readAll().split('\035'))
            if (!record.isEmpty())
                out.append(QString::fromUtf8(record).split(QChar(0x1e)));
        return out;
    }

private:
    void write(const QString &name, const QByteArray &data)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
    }

    QDir m_dir;
};
