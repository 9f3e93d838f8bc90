#pragma once

#include "storage/StorageScanner.h"

#include <QDeadlineTimer>
#include <QImage>
#include <QObject>
#include <QPalette>
#include <QRectF>

#include <optional>

class OneATurn;
class QPainter;

// What fills a block of the storage map: a thumbnail of the file when one can be
// made, else the file's icon. Thumbnails are made on the thread pool and kept in a
// process-wide memory cache; `ready` announces each one on the main thread.
class BlockPreview : public QObject {
    Q_OBJECT
public:
    static BlockPreview *instance();

    // The cached thumbnail, if there is one. Main thread only.
    std::optional<QImage> cached(const QString &path) const;
    // Starts making a thumbnail unless the rules say no (folders, blocks of 40 points
    // or less), one is cached, or one is already being made. Main thread only.
    void request(const StorageEntry &entry, double side);
    // The thumbnail for a file at `side` points; reads the disk, so call it off the main
    // thread. Nothing for folders and for files that are no image.
    static std::optional<QImage> thumbnail(const QString &path, double side);

    // Draws the preview of `entry` into `rect`: the control background, then the
    // thumbnail or the icon (half the side, at most 96 points, at one of a few sizes),
    // centred. An icon not drawn at that size before is made only until `makeIconsBy`:
    // making one reads and scales a theme image. Past that the icon is left out, made in
    // a later turn of the event loop (`iconsMade` says when all are), and this returns
    // false: the block wants painting again.
    bool paint(QPainter &painter, const QRectF &rect, const StorageEntry &entry, double side,
               const QPalette &palette,
               QDeadlineTimer makeIconsBy = QDeadlineTimer(QDeadlineTimer::Forever)) const;

    // The colour behind a block's icon or thumbnail.
    static QColor background(const QPalette &palette);

    // How many thumbnails were asked of the pool (a test seam).
    int requestsStarted() const { return m_started; }

signals:
    void ready(const QString &path);
    // Every icon a paint left out has been made.
    void iconsMade();

private:
    BlockPreview();
    struct Cache;
    static Cache &cache();
    int m_started = 0;
    OneATurn *m_iconMaker;
};
