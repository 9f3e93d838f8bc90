#pragma once

#include <QString>

#include <optional>

// A downloaded release archive: its signature checked before anything opens it, then
// unpacked only when every member sits below one "Quillmar/" folder.
namespace ReleaseArchive {

// Whether `signature` is a good signature of `archive` by a key in `keyring`.
bool isSigned(const QString &archive, const QString &signature, const QString &keyring);
// Unpacks into `folder`; the failure's message, or nothing.
std::optional<QString> unpack(const QString &archive, const QString &folder);

} // namespace ReleaseArchive
