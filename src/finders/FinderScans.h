#pragma once

#include "exec/CancelToken.h"
#include "finders/FileItem.h"

#include <QList>
#include <QString>

class AppHost;

// The work of the four file-finder tabs' scans, synchronous and blocking: call off the
// main thread. Each reports its progress through `appState` from start to end (items
// found; for duplicates then the bytes compared), can be stopped from the banner through
// `cancel`, and then ends early with what it has.
namespace FinderScans {

QList<FileItem> findLargeFiles(AppHost *appState, const CancelToken &cancel = {});
QList<FileItem> findInstallers(AppHost *appState, const CancelToken &cancel = {});
QList<FileItem> findRuntimes(AppHost *appState, const CancelToken &cancel = {});
QList<FileItem> findDuplicates(AppHost *appState, const CancelToken &cancel = {});

// "> 5 GB" above 5000 MiB, "1 - 5 GB" above 1000, else "50 - 500 MB".
QString sizeBand(double sizeMB);

} // namespace FinderScans
