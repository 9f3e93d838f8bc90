#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What a release folder ("…/Quillmar") holds besides the program: the keyring its
// updates are checked with, the list of every file it was released with, and its
// version and build. scripts/release writes all three.
namespace ReleaseTree {

// Inside the folder.
inline constexpr char program[] = "bin/quillmar";
inline constexpr char keyring[] = "share/quillmar/release-keyring.gpg";
inline constexpr char manifest[] = "share/quillmar/manifest";
inline constexpr char info[] = "share/quillmar/release-info";

struct Info {
    QString version; // the project's, as About shows it
    QString build;   // what the update feed calls "version"
};

// The release info of `folder` ("version=…" and "build=…" lines); nothing when it is
// missing, not a plain file, or lacks either.
std::optional<Info> readInfo(const QByteArray &folder);

// Whether `folder` holds nothing its manifest does not list, looked at without
// following links: false without a manifest, for any other file, link or folder, and
// for a folder that cannot be read. Files the manifest lists may be missing.
bool holdsOnlyListed(const QByteArray &folder);

// Whether `path` inside `folder` is a plain file with something in it, not a link.
bool hasFile(const QByteArray &folder, const char *path);

} // namespace ReleaseTree
