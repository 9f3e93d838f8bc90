// quillmar-cli: the storage scanner, the finders and the Trash from a terminal.
#include "app/cli/CliProgram.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    // The arguments as the bytes they are: a path need not be UTF-8.
    QList<QByteArray> args;
    for (int i = 1; i < argc; ++i)
        args.append(QByteArray(argv[i]));
    QCoreApplication app(argc, argv);
    return CliProgram().run(args);
}
