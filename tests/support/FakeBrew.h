#pragma once

#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

// A stand-in for the brew executable: a shell script that answers each kind of call
// from files and records every call's arguments and HOMEBREW_NO_AUTO_UPDATE.
// Installed at <root>/bin/brew, so its prefix is <root>.
class FakeBrew {
public:
    struct Call {
        QStringList arguments;
        QString noAutoUpdate; // the variable's value, "" when unset
    };

    explicit FakeBrew(const QString &root) : m_root(root)
    {
        QDir().mkpath(root + "/bin");
        QDir().mkpath(root + "/answers");
        const QString script = QStringLiteral(R"SH(#!/bin/sh
answers='%1/answers'
# One write per call: the search runs two of us at once, and two appends each would interleave.
record=$(printf '%s\036' "$@"; printf 'NOAUTO=%s\035' "${HOMEBREW_NO_AUTO_UPDATE-}")
printf '%s' "$record" >> '%1/calls'
case "$1" in
  --version) key=version ;;
  --prefix) key=prefix ;;
  outdated) key=outdated ;;
  info) if [ "$2" = "--json=v2" ]; then key=installed; else key=info; fi ;;
  search) key="search$2" ;;
  tap) key=tap ;;
  services) key=services ;;
  *) key=other ;;
esac
[ -f "$answers/$key.out" ] && cat "$answers/$key.out"
[ -f "$answers/$key.err" ] && cat "$answers/$key.err" >&2
[ -f "$answers/$key.sleep" ] && sleep "$(cat "$answers/$key.sleep")"
code=0
[ -f "$answers/$key.code" ] && code=$(cat "$answers/$key.code")
exit "$code"
)SH")
                                   .arg(root);
        QFile file(path());
        file.open(QIODevice::WriteOnly);
        file.write(script.toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                            QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                            QFile::ExeOther);
        answer("version", "Homebrew 4.3.1\nHomebrew/homebrew-core (git revision 1)\n");
    }

    QString path() const { return m_root + "/bin/brew"; }
    QString prefix() const { return m_root; }

    // What a kind of call prints and how it exits: version, prefix, outdated, installed,
    // info, search--formula, search--cask, tap, services, other.
    void answer(const QString &key, const QByteArray &out, int exitCode = 0,
                const QByteArray &err = {})
    {
        write(key + ".out", out);
        write(key + ".code", QByteArray::number(exitCode));
        if (!err.isEmpty())
            write(key + ".err", err);
    }
    void delay(const QString &key, double seconds)
    {
        write(key + ".sleep", QByteArray::number(seconds));
    }

    QList<Call> calls() const
    {
        QFile file(m_root + "/calls");
        QList<Call> calls;
        if (!file.open(QIODevice::ReadOnly))
            return calls;
        for (const QByteArray &record : file.readAll().split('\035')) {
            if (record.isEmpty())
                continue;
            QList<QByteArray> fields = record.split('\036');
            Call call;
            call.noAutoUpdate = QString::fromUtf8(fields.takeLast().mid(7));
            for (const QByteArray &field : fields)
                call.arguments.append(QString::fromUtf8(field));
            calls.append(call);
        }
        return calls;
    }
    void clearCalls() { QFile::remove(m_root + "/calls"); }

private:
    void write(const QString &name, const QByteArray &data)
    {
        QFile file(m_root + "/answers/" + name);
        file.open(QIODevice::WriteOnly);
        file.write(data);
    }

    QString m_root;
};
