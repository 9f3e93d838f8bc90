#pragma once

#include "exec/CancelToken.h"
#include "platform/MountTable.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

class AppHost;
class ScanProgress;

// The find runs of the file finders. Paths come back as the file system's bytes
// (-print0), the final link of each searched folder is followed (-H) and nothing inside
// it is, and network or user-space file systems mounted below a searched folder are
// never entered: a search must not read a share in full.
namespace HomeSearch {

// "-H", the roots, the global options, a prune of each network or FUSE mount and of each
// folder of `excluded` below a root (spelled under the root as given, also when the root
// is reached through a link), then the expression, which prints with -print0 itself.
QStringList findArguments(const QStringList &roots, const QStringList &globalOptions,
                          const QStringList &expression, const QList<MountTable::Mount> &mounts,
                          const QList<QByteArray> &excluded = {});

// A path as a find -path pattern that matches only itself. Bytes that are not UTF-8
// cannot be written as an argument: each matches any one character instead.
QString literalPattern(const QByteArray &path);

// The entries of a NUL-separated listing, empty ones dropped.
QList<QByteArray> splitNul(const QByteArray &listing);
// The lines of a listing, as bytes; empty ones dropped.
QList<QByteArray> splitLines(const QByteArray &listing);

// Runs the table's find with findArguments, keeping out the folders excluded in Settings
// (a root in one is not searched); the paths printed, in order. Errors on the way
// (unreadable folders) do not stop the search; a cancelled one gives the paths found
// until then. `progress`, if given, hears how many were found so far.
QList<QByteArray> find(const QStringList &roots, const QStringList &globalOptions,
                       const QStringList &expression, const QList<MountTable::Mount> &mounts,
                       AppHost *appState, const CancelToken &cancel,
                       ScanProgress *progress = nullptr);

} // namespace HomeSearch
