// A program of the engine library alone: moves each argument to the Trash through the
// safety check. The layering test reads which libraries it loads.
#include "exec/SafetyHelper.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int refused = 0;
    for (const QString &path : app.arguments().mid(1))
        refused += SafetyHelper::moveToTrash(path) ? 0 : 1;
    return refused == 0 ? 0 : 1;
}
