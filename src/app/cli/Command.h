#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

class Console;

// One subcommand of quillmar-cli: its name, what it does, its options, and the work.
// Arguments stay the bytes they were given, so paths that are not UTF-8 reach the
// engines as themselves.
class Command {
public:
    // Exit statuses: all done; refusals or a partial result; the command line was wrong;
    // stopped by Ctrl+C.
    enum Status { Done = 0, Partial = 1, Usage = 2, Interrupted = 130 };

    struct Option {
        QByteArray name;  // "--json"
        QByteArray value; // what it takes ("FILE"); empty for a flag
        QString help;
    };

    struct Arguments {
        QHash<QByteArray, QByteArray> options; // given options and their values
        QList<QByteArray> paths;
        bool has(const char *option) const { return options.contains(QByteArray(option)); }
        QByteArray value(const char *option) const { return options.value(QByteArray(option)); }
    };

    virtual ~Command() = default;

    virtual QByteArray name() const = 0;
    virtual QString description() const = 0;
    // What follows the name in the usage line ("PATH...").
    virtual QByteArray operands() const = 0;
    virtual QList<Option> options() const = 0;
    // How many paths it takes; -1: no limit.
    virtual int minimumPaths() const { return 1; }
    virtual int maximumPaths() const { return -1; }

    // Parses what follows the name, answers --help, else runs execute().
    int run(const QList<QByteArray> &args, Console &console);
    QByteArray help() const;

    // "50M", "1G", "4096": a size in bytes, units of 1024; nothing when malformed.
    static std::optional<qint64> parseSize(const QByteArray &text);
    // A path as given, made absolute against the working folder; "." and ".." folded.
    static QByteArray absolute(const QByteArray &path);

protected:
    virtual int execute(const Arguments &args, Console &console) = 0;
    // Reports a wrong command line with a pointer to --help; returns Usage.
    int usageError(Console &console, const QString &message) const;
};
