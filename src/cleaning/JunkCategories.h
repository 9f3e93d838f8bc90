#pragma once

#include "platform/FileIdentity.h"

#include <QList>
#include <QString>
#include <QUuid>

struct JunkFileItem {
    QUuid id = QUuid::createUuid();
    QString name; // last path component
    QString path;
    double sizeMB = 0;
};

struct JunkCategory {
    QUuid id = QUuid::createUuid();
    QString name;
    QString path; // empty: the category has no folder on this system and measures 0
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
// tab and the command line measure, unmeasured, in the tab's order.
namespace JunkCategories {
QList<JunkCategory> all();
} // namespace JunkCategories
