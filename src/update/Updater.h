#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// What the update site offers and which build is running.
namespace Updater {

struct Release {
    QString version; // a build number, compared with currentVersion()
    QStringList notes;
    friend bool operator==(const Release &, const Release &) = default;
};

// The feed body: a JSON object with a "version" string and optional "notes" (an array of
// strings; anything else gives no notes). Nothing when it is not such an object.
std::optional<Release> parseFeed(const QByteArray &body);

// The running copy's build number; "0" when unknown.
QString currentVersion();

} // namespace Updater
