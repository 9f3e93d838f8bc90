#pragma once

#include "storage/UsageWalk.h"

#include <QByteArray>
#include <QString>

#include <vector>

class QIODevice;

// Writes a walk in the JSON export format of ncdu, version 1.2, as `ncdu -o` writes it,
// so that `ncdu -f` opens it: every folder an array whose first element describes it,
// every other item an object with "asize", "dsize", "ino"/"hlnkc"/"nlink" for files with
// several names, "dev" where the device changes, "excluded" for mounts left out,
// "read_error" and "notreg". Names are written as ncdu writes and reads them: the file
// system's bytes, with quotes, backslashes and control characters escaped.
class NcduExport : public UsageWalk::Visitor {
public:
    // A failed write cancels `stop`, so the walk ends early.
    NcduExport(QIODevice *out, const CancelToken &stop, qint64 timestamp);

    void enter(const UsageWalk::Item &folder, int depth) override;
    void item(const UsageWalk::Item &item, int depth) override;
    void leave(const UsageWalk::Item &folder, const UsageWalk::Totals &totals, int depth) override;

    // Writes what is still buffered; false when any write failed.
    bool finish();
    bool ok() const { return m_ok; }

    // One name as a JSON string in ncdu's way.
    static QByteArray string(const QByteArray &name);

    // Walks the folder `root` (absolute, standardized) into the file, which is replaced
    // only once the export is whole. Empty when done, else why not ("" and a cancelled
    // token when stopped). `walk` may be read for progress while this runs.
    static QString toFile(const QByteArray &root, const QString &fileName, UsageWalk &walk,
                          const CancelToken &cancel);

private:
    QByteArray info(const UsageWalk::Item &item, bool isRoot) const;
    void put(const QByteArray &bytes);

    QIODevice *m_out;
    CancelToken m_stop;
    qint64 m_timestamp;
    std::vector<quint64> m_devices; // the open folders' devices
    QByteArray m_buffer;
    bool m_started = false;
    bool m_ok = true;
};
