#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

// Runs the built quillmar-cli as a user runs it, in a throw-away home, and holds its
// answers against du, ncdu and jdupes on the same tree.
class TestCliProgram : public QObject {
    Q_OBJECT

    struct Run {
        int code = -1;
        QByteArray out;
        QByteArray err;
    };

    QTemporaryDir m_dir;
    QString m_home;
    QString m_tree;
    int m_argFiles = 0;

    static QString program()
    {
        return qEnvironmentVariable("QUILLMAR_CLI", QStringLiteral(QUILLMAR_CLI));
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home);
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        return env;
    }

    static Run finish(QProcess &process)
    {
        Run r;
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
            return r;
        }
        r.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        r.out = process.readAllStandardOutput();
        r.err = process.readAllStandardError();
        return r;
    }

    // Arguments travel as bytes (a QString cannot hold a name that is not UTF-8): each
    // is put in a file that the shell hands over unchanged.
    Run cli(const QList<QByteArray> &args, const QString &folder = {})
    {
        QByteArray script = "exec \"$0\"";
        for (const QByteArray &arg : args) {
            const QString file = m_dir.filePath(QStringLiteral("arg%1").arg(++m_argFiles));
            QFile f(file);
            if (!f.open(QIODevice::WriteOnly) || f.write(arg) != arg.size())
                return {};
            script += " \"$(cat '" + file.toUtf8() + "')\"";
        }
        QProcess process;
        process.setProcessEnvironment(environment());
        process.setWorkingDirectory(folder.isEmpty() ? m_tree : folder);
        process.start(QStringLiteral("/bin/sh"),
                      {QStringLiteral("-c"), QString::fromUtf8(script), program()});
        process.closeWriteChannel();
        return finish(process);
    }

    static Run tool(const QString &name, const QStringList &args)
    {
        QProcess process;
        process.start(name, args);
        return finish(process);
    }

    static qint64 firstNumber(const QByteArray &text)
    {
        return text.split('\t').first().toLongLong();
    }

    // Bytes back from the JSON text: U+DC80..U+DCFF stand for the byte they carry.
    static QByteArray bytesOf(const QString &text)
    {
        QByteArray out;
        QString run;
        for (const QChar c : text) {
            if (c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF) {
                out += run.toUtf8();
                run.clear();
                out += char(c.unicode() - 0xDC00);
            } else {
                run += c;
            }
        }
        return out + run.toUtf8();
    }

    static QByteArray path(const QString &folder, const QByteArray &name)
    {
        return QFile::encodeName(folder) + '/' + name;
    }

    static bool write(const QByteArray &file, const QByteArray &contents, qint64 size = -1)
    {
        const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return false;
        bool ok = ::write(fd, contents.constData(), size_t(contents.size())) == contents.size();
        if (size >= 0)
            ok = ok && ::ftruncate(fd, size) == 0;
        return ::close(fd) == 0 && ok;
    }

    static QSet<QByteArray> names(const QString &folder)
    {
        QSet<QByteArray> out;
        if (DIR *d = ::opendir(QFile::encodeName(folder).constData())) {
            while (const dirent *e = ::readdir(d)) {
                if (qstrcmp(e->d_name, ".") != 0 && qstrcmp(e->d_name, "..") != 0)
                    out.insert(QByteArray(e->d_name));
            }
            ::closedir(d);
        }
        return out;
    }

    static int removeOne(const char *file, const struct stat *, int, struct FTW *)
    {
        return ::remove(file);
    }

    static quint64 inode(const QByteArray &file)
    {
        struct stat st;
        return ::lstat(file.constData(), &st) == 0 ? quint64(st.st_ino) : 0;
    }

    // Duplicate groups as sets of inodes: which of a file's names a tool prints is its own
    // business.
    static QSet<QSet<quint64>> inodeGroups(const QList<QList<QByteArray>> &groups)
    {
        QSet<QSet<quint64>> out;
        for (const QList<QByteArray> &g : groups) {
            QSet<quint64> ids;
            for (const QByteArray &p : g)
                ids.insert(inode(p));
            out.insert(ids);
        }
        return out;
    }

    static const QList<QByteArray> &hostileNames()
    {
        static const QList<QByteArray> names{"line\nfeed", "-dash", "quo\"te", "bad \xff\xfe",
                                             "ctl\x01"};
        return names;
    }

private slots:
    // QTemporaryDir cannot name the files whose names are not UTF-8.
    void cleanupTestCase()
    {
        ::nftw(QFile::encodeName(m_dir.path()), removeOne, 16, FTW_DEPTH | FTW_PHYS);
    }

    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_home = m_dir.filePath(QStringLiteral("home"));
        m_tree = m_home + QStringLiteral("/tree");
        for (const char *d : {"tree/big/inner", "tree/links", "tree/other", ".cache/app"})
            QVERIFY(QDir().mkpath(m_home + QLatin1Char('/') + QLatin1String(d)));
        QByteArray unique(300 * 1024, '\0');
        for (qsizetype i = 0; i < unique.size(); ++i)
            unique[i] = char((i * 7919) >> 5);
        QVERIFY(write(path(m_tree, "big/inner/a.bin"), unique));
        QVERIFY(write(path(m_tree, "big/copy.bin"), unique));
        // Apparent and allocated sizes part here.
        QVERIFY(write(path(m_tree, "sparse"), QByteArray(4096, 's'), 1 << 20));
        QVERIFY(write(path(m_tree, "links/one"), QByteArray(150 * 1024, 'h')));
        QVERIFY(::link(path(m_tree, "links/one"), path(m_tree, "other/two")) == 0);
        QVERIFY(::symlink("big", path(m_tree, "sym")) == 0);
        QVERIFY(write(path(m_tree, "empty1"), {}) && write(path(m_tree, "empty2"), {}));
        for (const QByteArray &name : hostileNames())
            QVERIFY(write(path(m_tree, name), "hostile\n"));
        QVERIFY(write(path(m_home, ".cache/app/blob"), QByteArray(64 * 1024, 'c')));
        for (const char *t : {"du", "ncdu", "jdupes"})
            QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(t)).isEmpty(),
                     "scripts/setup-deps installs it");
    }

    void totalsAreDu_data()
    {
        QTest::addColumn<QList<QByteArray>>("args");
        QTest::addColumn<QStringList>("du");
        QTest::newRow("blocks") << QList<QByteArray>{"scan", "--json", "."}
                                << QStringList{"-sB1", "-x"};
        QTest::newRow("one thread") << QList<QByteArray>{"scan", "--json", "--threads", "1", "."}
                                    << QStringList{"-sB1", "-x"};
        QTest::newRow("apparent size")
            << QList<QByteArray>{"scan", "--json", "--apparent-size", "."} << QStringList{"-sb"};
        QTest::newRow("while exporting")
            << QList<QByteArray>{"scan", "--json", "--export", "../../out.json", "."}
            << QStringList{"-sB1", "-x"};
    }

    void totalsAreDu()
    {
        QFETCH(QList<QByteArray>, args);
        QFETCH(QStringList, du);
        const Run r = cli(args);
        QCOMPARE(r.code, 0);
        // Not a terminal: no progress line, nothing at all.
        QCOMPARE(r.err, QByteArray());
        const QJsonObject answer = QJsonDocument::fromJson(r.out).object();
        const Run expected = tool(QStringLiteral("du"), du + QStringList{m_tree});
        QCOMPARE(answer.value("bytes").toInteger(), firstNumber(expected.out));
        QCOMPARE(answer.value("partial").toBool(), false);

        // Every child is there, hostile names as their very bytes.
        QSet<QByteArray> children;
        for (const QJsonValue &child : answer.value("children").toArray())
            children.insert(bytesOf(child.toObject().value("path").toString()));
        for (const QByteArray &name : hostileNames() + QList<QByteArray>{"big", "sparse", "sym"})
            QVERIFY2(children.contains(path(m_tree, name)), name.constData());
        for (const QJsonValue &child : answer.value("children").toArray()) {
            if (bytesOf(child.toObject().value("path").toString()) == path(m_tree, "big")) {
                const Run big = tool(QStringLiteral("du"), du + QStringList{m_tree + "/big"});
                QCOMPARE(child.toObject().value("bytes").toInteger(), firstNumber(big.out));
            }
        }
    }

    void tableEndsWithTheTotal()
    {
        const Run r = cli({"scan", "./"});
        QCOMPARE(r.code, 0);
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        const Run all = tool(QStringLiteral("du"), {QStringLiteral("-sh"), m_tree});
        QCOMPARE(lines.last(), all.out.split('\t').first() + "\t.");
        const Run big = tool(QStringLiteral("du"), {QStringLiteral("-sh"), m_tree + "/big"});
        QCOMPARE(lines.at(lines.size() - 2), big.out.split('\t').first() + "\t./big");
    }

    void exportOpensInNcdu()
    {
        const QString exported = m_dir.filePath(QStringLiteral("export.json"));
        QCOMPARE(cli({"scan", "--export", QFile::encodeName(exported), "."}).code, 0);
        QFile file(exported);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray ours = file.readAll();
        QVERIFY(ours.startsWith("[1,2,{\"progname\":\"quillmar\""));
        const Run ncdu = tool(QStringLiteral("ncdu"), {"-0", "-f", exported, "-o", "-"});
        QCOMPARE(ncdu.code, 0);
        // ncdu reads every item back as written: its export is ours, header aside.
        QCOMPARE(ncdu.out.mid(ncdu.out.indexOf('\n')), ours.mid(ours.indexOf('\n')));

        // And its totals are du's: each file with several names counted once.
        static const QRegularExpression info(
            QStringLiteral("\\{\"name\":\"(?:[^\"\\\\]|\\\\.)*\"([^}]*)\\}"));
        static const QRegularExpression field(QStringLiteral("\"(asize|dsize|ino)\":(\\d+)"));
        qint64 asize = 0, dsize = 0;
        int items = 0;
        QSet<qint64> inodes;
        for (const auto &m : info.globalMatch(QString::fromLatin1(ncdu.out))) {
            ++items;
            QHash<QString, qint64> values;
            for (const auto &f : field.globalMatch(m.captured(1)))
                values.insert(f.captured(1), f.captured(2).toLongLong());
            if (values.contains("ino")) {
                if (inodes.contains(values["ino"]))
                    continue;
                inodes.insert(values["ino"]);
            }
            asize += values.value("asize");
            dsize += values.value("dsize");
        }
        QCOMPARE(items, 18);
        QCOMPARE(dsize, firstNumber(tool("du", {"-sB1", "-x", m_tree}).out));
        QCOMPARE(asize, firstNumber(tool("du", {"-sb", m_tree}).out));
    }

    void duplicatesAreJdupes()
    {
        const Run ours = cli({"duplicates", "--json", "."});
        QCOMPARE(ours.code, 0);
        QList<QList<QByteArray>> groups;
        for (const QJsonValue &g : QJsonDocument::fromJson(ours.out).array()) {
            QList<QByteArray> paths;
            for (const QJsonValue &p : g.toObject().value("paths").toArray())
                paths.append(bytesOf(p.toString()));
            groups.append(paths);
        }
        QList<QList<QByteArray>> theirs;
        const Run jdupes = tool(QStringLiteral("jdupes"), {"-r", "-q", "-0", m_tree});
        QCOMPARE(jdupes.code, 0);
        // Each path ends in a NUL, each group in one more.
        const QByteArray groupEnd("\0\0", 2);
        for (qsizetype at = 0, end; (end = jdupes.out.indexOf(groupEnd, at)) >= 0; at = end + 2)
            theirs.append(jdupes.out.mid(at, end - at).split('\0'));
        QCOMPARE(groups.size(), 2); // the copies of a.bin, the hostile names
        QCOMPARE(inodeGroups(groups), inodeGroups(theirs));

        // The text form: one path a line, as given, a blank line after each group.
        const Run text = cli({"duplicates", "big"});
        QCOMPARE(text.out, "big/copy.bin\nbig/inner/a.bin\n\n");
    }

    void largeFilesLargestFirst()
    {
        const Run r = cli({"large", "--min-size", "150K", "--json", "."});
        QCOMPARE(r.code, 0);
        QStringList found;
        for (const QJsonValue &v : QJsonDocument::fromJson(r.out).array())
            found << v.toObject().value("path").toString().mid(m_tree.size() + 1) + ':' +
                         QString::number(v.toObject().value("bytes").toInteger());
        QCOMPARE(found,
                 QStringList({"sparse:1048576", "big/copy.bin:307200", "big/inner/a.bin:307200",
                              "links/one:153600", "other/two:153600"}));
    }

    void junkIsMeasuredAndKept()
    {
        const Run r = cli({"junk", "--json"});
        QCOMPARE(r.code, 0);
        const QJsonObject caches = QJsonDocument::fromJson(r.out).array().first().toObject();
        QCOMPARE(caches.value("path").toString(), m_home + "/.cache");
        QCOMPARE(caches.value("bytes").toInteger(),
                 firstNumber(tool("du", {"-sB1", "-x", m_home + "/.cache"}).out));
        QVERIFY(QFile::exists(m_home + "/.cache/app/blob"));
    }

    void trash_data()
    {
        QTest::addColumn<QList<QByteArray>>("args");
        QTest::addColumn<QList<QByteArray>>("moved");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("hostile names")
            << QList<QByteArray>{"--", "-dash", "line\nfeed", "quo\"te", "bad \xff\xfe"}
            << QList<QByteArray>{"-dash", "line\nfeed", "quo\"te", "bad \xff\xfe"} << 0
            << QByteArray();
        QTest::newRow("the home folder")
            << QList<QByteArray>{"ok", "../.."} << QList<QByteArray>{"ok"} << 1
            << QByteArray("quillmar-cli: ../..: ");
        QTest::newRow("missing") << QList<QByteArray>{"nothing-here", "ok"}
                                 << QList<QByteArray>{"ok"} << 1
                                 << QByteArray("quillmar-cli: nothing-here: ");
        QTest::newRow("dot") << QList<QByteArray>{"."} << QList<QByteArray>{} << 1
                             << QByteArray("quillmar-cli: .: ");
    }

    void trash()
    {
        QFETCH(QList<QByteArray>, args);
        QFETCH(QList<QByteArray>, moved);
        QFETCH(int, code);
        QFETCH(QByteArray, message);
        const QString folder = m_home + QStringLiteral("/work/") + QTest::currentDataTag();
        QVERIFY(QDir().mkpath(folder));
        for (const QByteArray &name : hostileNames() + QList<QByteArray>{"ok"})
            QVERIFY(write(path(folder, name), name));
        const QString trash = m_home + QStringLiteral("/.local/share/Trash/files");
        const QSet<QByteArray> before = names(trash);
        const Run r = cli(QList<QByteArray>{"trash"} + args, folder);
        QCOMPARE(r.code, code);
        QVERIFY2(message.isEmpty() ? r.err.isEmpty() : r.err.startsWith(message), r.err);
        // A refusal says why, one line each.
        QCOMPARE(r.err.count('\n'), code == 0 ? 0 : args.size() - moved.size());
        for (const QByteArray &name : hostileNames() + QList<QByteArray>{"ok"})
            QCOMPARE(inode(path(folder, name)) == 0, moved.contains(name));
        const QSet<QByteArray> after = names(trash);
        QCOMPARE(after.size(), before.size() + moved.size());
        for (const QByteArray &name : moved) {
            if (name != "ok") // trashed in more than one row, so renamed there
                QVERIFY2(after.contains(name), name.constData());
        }
        QVERIFY(QFile::exists(m_home));
    }

    void exitStatus_data()
    {
        QTest::addColumn<QList<QByteArray>>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("nothing") << QList<QByteArray>{} << 2 << QByteArray()
                                 << QByteArray("Usage:");
        QTest::newRow("unknown command") << QList<QByteArray>{"sacn", "."} << 2 << QByteArray()
                                         << QByteArray("quillmar-cli: unknown command sacn");
        QTest::newRow("unknown option") << QList<QByteArray>{"scan", "--jsno", "."} << 2
                                        << QByteArray() << QByteArray("unknown option --jsno");
        QTest::newRow("a name like an option") << QList<QByteArray>{"scan", "-dash"} << 2
                                               << QByteArray() << QByteArray("unknown option");
        QTest::newRow("two folders to scan")
            << QList<QByteArray>{"scan", ".", "big"} << 2 << QByteArray() << QByteArray("too many");
        QTest::newRow("no threads") << QList<QByteArray>{"scan", "--threads", "0", "."} << 2
                                    << QByteArray() << QByteArray("--threads");
        QTest::newRow("a size without a number")
            << QList<QByteArray>{"large", "--min-size", "M", "."} << 2 << QByteArray()
            << QByteArray("--min-size");
        QTest::newRow("nothing to trash")
            << QList<QByteArray>{"trash"} << 2 << QByteArray() << QByteArray("missing PATH...");
        QTest::newRow("junk takes no path")
            << QList<QByteArray>{"junk", "."} << 2 << QByteArray() << QByteArray("too many");
        QTest::newRow("missing folder") << QList<QByteArray>{"scan", "no-such"} << 1 << QByteArray()
                                        << QByteArray("quillmar-cli: no-such: ");
        QTest::newRow("a name after --") << QList<QByteArray>{"scan", "--", "-dash"} << 0
                                         << QByteArray("4.0K\t-dash\n") << QByteArray();
        for (const char *c : {"scan", "duplicates", "large", "junk", "trash"})
            QTest::newRow(c) << QList<QByteArray>{c, "--help"} << 0
                             << QByteArray("Usage: quillmar-cli ") + c << QByteArray();
    }

    void exitStatus()
    {
        QFETCH(QList<QByteArray>, args);
        QFETCH(int, code);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        const Run r = cli(args);
        QCOMPARE(r.code, code);
        QVERIFY2(r.out.startsWith(out), r.out);
        QVERIFY2(err.isEmpty() ? r.err.isEmpty() : r.err.contains(err), r.err);
    }

    // Blocked on a full pipe, as when its reader went away: Ctrl+C still ends it at once.
    void ctrlCStopsWithinASecond()
    {
        const QString many = m_dir.filePath(QStringLiteral("many"));
        QVERIFY(QDir().mkpath(many));
        for (int i = 0; i < 8000; ++i)
            QVERIFY(write(path(many, "file-with-a-longish-name-" + QByteArray::number(i)), {}));
        const QByteArray fifo = QFile::encodeName(m_dir.filePath(QStringLiteral("fifo")));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        QProcess process;
        process.setProcessEnvironment(environment());
        process.setStandardOutputFile(QFile::decodeName(fifo));
        process.start(program(), {"scan", "--export", "-", many});
        QVERIFY(process.waitForStarted());
        QTest::qWait(700);
        QCOMPARE(process.state(), QProcess::Running);
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(5000));
        const qint64 took = clock.elapsed();
        ::close(reader);
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        QVERIFY2(took < 1000, QByteArray::number(took));
        QVERIFY(!process.readAllStandardError().contains('\r'));
    }
};

QTEST_GUILESS_MAIN(TestCliProgram)
#include "tst_CliProgram.moc"
