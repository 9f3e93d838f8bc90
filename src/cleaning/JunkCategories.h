#pragma once

#include "platform/FileIdentity.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

struct JunkFileItem {
    QUuid id = QUuid::createUuid();
    QString name; // last path component
    QString path;
    double sizeMB = 0;
    QByteArray nativePath; // the file system's bytes of `path`
};

struct JunkCategory {
    QUuid id = QUuid::createUuid();
    QString name;
    QString path;
    // The folders of other categories inside this one: measured and cleaned with those,
    // never with this one.
    QStringList excluded;
    QString description;
    QString icon;
    double sizeMB = 0;
    QList<JunkFileItem> topFiles;
    FileIdentity identity{}; // the folder as measured; a clean refuses another one there
    // The Trash itself: emptied for good, not moved anywhere; `itemCount` items in it.
    bool permanent = false;
    int itemCount = 0;
    bool isExpanded = false; // the screen keeps its own expansion set
    bool isSelected = false;
};

// The fixed categories of caches, logs and build products, and the Trash, that the Junk
// tab and the command line measure, unmeasured, in the tab's order: only those with a
// folder on this system, each knowing the other categories' folders inside its own.
namespace JunkCategories {
QList<JunkCategory> all();
} // namespace JunkCategories
