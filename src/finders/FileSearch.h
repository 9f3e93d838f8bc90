#pragma once

#include "exec/CancelToken.h"
#include "finders/FileList.h"
#include "platform/MountTable.h"

#include <QByteArray>
#include <QList>

// Files below folders, listed by the program's own walk rather than a find process: the
// final link of each searched folder is followed and nothing inside it is, and network or
// user-space file systems mounted below a searched folder are never entered.
namespace FileSearch {

struct Scope {
    int maxDepth = -1;              // how many levels below a searched folder count; -1: all
    qint64 largerThan = 0;          // only regular files of more bytes than this
    bool skipsHidden = false;       // folders whose name starts with "." are not entered
    QList<QByteArray> skippedNames; // nor folders of these names
};

// The duplicate search of a home: five levels down, files over 1 MiB, no hidden folders,
// no Library or node_modules. The same files as
//   find -H HOME -maxdepth 5 <mounts> -prune -o -type d \( -name Library -o -name '.*'
//   -o -name node_modules \) -prune -o -type f -size +1M -print0
Scope homeDuplicates();

// The regular files of the scope below each root, in walking order, paths spelled from the
// root as given. A searched folder is itself subject to the folder rules by its name; a
// root that is a regular file counts as a file. Unreadable folders are passed over. A
// cancelled token ends the walk with what was listed so far.
FileList list(const QList<QByteArray> &roots, const Scope &scope,
              const QList<MountTable::Mount> &mounts, const CancelToken &cancel = {});

} // namespace FileSearch
