#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

// One installed formula or cask. The identity is made fresh each time a record is built,
// so it does not survive a rescan.
struct BrewPackage {
    QUuid id = QUuid::createUuid();
    QString name;
    QString version = QStringLiteral("Unknown");
    QString description;
    QString type = QStringLiteral("Formula"); // "Formula" or "Cask"
    double sizeMB = 0;
    bool isOutdated = false;
    QString path; // the installation folder
    QString homepage;
    QString modifiedDate = QStringLiteral("Unknown"); // "MM/dd/yy"
    QStringList dependencies;
    std::optional<QDateTime> installedDate;
    bool isPinned = false;
    bool onRequest = true;

    bool isCask() const { return type == QLatin1String("Cask"); }
    // Whether `dependency`, as Homebrew lists it ("name" or "user/tap/name"), is this one.
    bool isNamedBy(const QString &dependency) const;
};
