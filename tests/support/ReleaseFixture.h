#pragma once

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/utsname.h>

// Release archives signed by a throw-away key, and running copies that trust it. A second
// key signs what must be refused. Nothing here is a real release key.
class ReleaseFixture {
public:
    ReleaseFixture()
    {
        m_ok = m_dir.isValid() &&
               gpg({"--quick-gen-key", "Release <release@example.invalid>", "ed25519", "sign",
                    "never"}) &&
               gpg({"--quick-gen-key", "Stranger <stranger@example.invalid>", "ed25519", "sign",
                    "never"});
        QProcess exporter;
        exporter.setProcessEnvironment(environment());
        exporter.start("/usr/bin/gpg", {"--batch", "--export", "release@example.invalid"});
        m_ok = m_ok && exporter.waitForFinished(30000) && exporter.exitCode() == 0;
        m_keyring = exporter.readAllStandardOutput();
        m_ok = m_ok && !m_keyring.isEmpty();
    }
    ~ReleaseFixture()
    {
        QProcess::execute("/usr/bin/gpgconf", {"--homedir", home(), "--kill", "all"});
    }

    bool isReady() const { return m_ok; }

    static QString arch()
    {
        struct utsname names {};
        ::uname(&names);
        return QString::fromLatin1(names.machine);
    }

    // A copy as the tarball lays it out: bin/quillmar holding `program`, the keyring, the
    // release info naming `build`, and the list of every file it holds.
    void makeCopy(const QString &folder, const QByteArray &program, const QByteArray &build = "7",
                  bool withKeyring = true) const
    {
        QDir().mkpath(folder + "/bin");
        QDir().mkpath(folder + "/share/quillmar");
        write(folder + "/bin/quillmar", program);
        if (withKeyring)
            write(folder + "/share/quillmar/release-keyring.gpg", m_keyring);
        write(folder + "/share/quillmar/release-info", "version=0.1.0\nbuild=" + build + "\n");
        QStringList files{"share/quillmar/manifest"};
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(QDir(folder).relativeFilePath(it.next()));
        files.removeDuplicates();
        write(folder + "/share/quillmar/manifest", files.join('\n').toUtf8() + '\n');
    }

    // A gzip tarball made by tar from `members` (paths relative to `from`); -P keeps
    // "../" and absolute names as they are.
    QByteArray tarball(const QString &from, const QStringList &members) const
    {
        const QString out = m_dir.filePath("made.tar.gz");
        QFile::remove(out);
        QProcess tar;
        tar.setWorkingDirectory(from);
        tar.start("/bin/tar", QStringList{"-czPf", out} + members);
        if (!tar.waitForFinished(60000) || tar.exitCode() != 0)
            return {};
        return read(out);
    }

    QByteArray sign(const QByteArray &data, bool stranger = false) const
    {
        const QString in = m_dir.filePath("to-sign"), sig = in + ".sig";
        write(in, data);
        QFile::remove(sig);
        if (!gpg({"--local-user", stranger ? "stranger@example.invalid" : "release@example.invalid",
                  "--detach-sign", "--output", sig, in}))
            return {};
        return read(sig);
    }

    static void write(const QString &path, const QByteArray &data)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(data);
    }
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QString home() const { return m_dir.filePath("gnupg"); }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("GNUPGHOME", home());
        return env;
    }
    bool gpg(const QStringList &arguments) const
    {
        QDir().mkpath(home());
        QFile::setPermissions(home(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setStandardInputFile(QProcess::nullDevice());
        p.start("/usr/bin/gpg",
                QStringList{"--batch", "--yes", "--pinentry-mode", "loopback", "--passphrase", ""} +
                    arguments);
        return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }

    QTemporaryDir m_dir{QDir::tempPath() + "/qm-gpg-XXXXXX"};
    QByteArray m_keyring;
    bool m_ok = false;
};
