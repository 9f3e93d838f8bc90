#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// Puts a staged copy in the place of the running one, the old copy going to the Trash.
// The program's place is never left empty.
namespace CopySwap {

struct Options {
    // Whether the one-step exchange of the two folders may be tried (else two moves).
    bool exchange = true;
    // Runs between moving the old copy to the Trash and moving the new one in.
    std::function<void()> betweenMoves;
};

// The failure's message, or nothing once the new copy is at `copy`.
std::optional<QString> replace(const QByteArray &copy, const QByteArray &staged,
                               const Options &options);

} // namespace CopySwap
