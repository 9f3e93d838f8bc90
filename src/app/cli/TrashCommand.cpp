#include "app/cli/TrashCommand.h"

#include "app/cli/Console.h"
#include "exec/SafetyHelper.h"

QString TrashCommand::description() const
{
    return QStringLiteral(
        "Moves items to the Trash.\n\n"
        "Moves each item to the Trash, never deleting anything. Protected places (the home\n"
        "folder itself, system folders) are refused, and so is an item that a link on the\n"
        "way would lead elsewhere; each refusal is printed with its reason.");
}

int TrashCommand::execute(const Arguments &args, Console &console)
{
    int refused = 0;
    for (const QByteArray &given : args.paths) {
        if (console.interrupted())
            return Interrupted;
        // As rm does: "." and ".." name a folder by where one stands, not by its name.
        QByteArray last = given;
        while (last.size() > 1 && last.endsWith('/'))
            last.chop(1);
        last = last.mid(last.lastIndexOf('/') + 1);
        if (last == "." || last == "..") {
            ++refused;
            console.error(given, QStringLiteral("\".\" and \"..\" are not moved; name the folder"));
            continue;
        }
        const QByteArray path = absolute(given);
        const SafetyHelper::Outcome outcome = SafetyHelper::moveNativeToTrash(path);
        if (!outcome.ok) {
            ++refused;
            console.error(given, outcome.reason);
        }
    }
    return refused == 0 ? Done : Partial;
}
