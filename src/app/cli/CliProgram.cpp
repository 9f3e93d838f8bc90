#include "app/cli/CliProgram.h"

#include "app/cli/Console.h"
#include "app/cli/DuplicatesCommand.h"
#include "app/cli/JunkCommand.h"
#include "app/cli/LargeCommand.h"
#include "app/cli/ScanCommand.h"
#include "app/cli/TrashCommand.h"

CliProgram::CliProgram()
{
    m_commands.push_back(std::make_unique<ScanCommand>());
    m_commands.push_back(std::make_unique<DuplicatesCommand>());
    m_commands.push_back(std::make_unique<LargeCommand>());
    m_commands.push_back(std::make_unique<JunkCommand>());
    m_commands.push_back(std::make_unique<TrashCommand>());
}

CliProgram::~CliProgram() = default;

QByteArray CliProgram::help() const
{
    QByteArray text = "Usage: quillmar-cli COMMAND [options] [PATH...]\n\n"
                      "What fills the disk, from a terminal. Nothing is ever deleted: trash moves\n"
                      "items to the Trash.\n\nCommands:\n";
    for (const auto &c : m_commands) {
        const QString first = c->description().section(QLatin1Char('\n'), 0, 0);
        text += "  " + c->name().leftJustified(12, ' ') + first.toUtf8() + '\n';
    }
    text += "\n'quillmar-cli COMMAND --help' tells more of each; man quillmar-cli tells all.\n"
            "Exit status: 0 done, 1 refusals or partial results, 2 usage errors, 130 stopped.\n";
    return text;
}

int CliProgram::run(const QList<QByteArray> &args)
{
    Console console;
    if (args.isEmpty()) {
        console.err(help());
        return Command::Usage;
    }
    const QByteArray &first = args.first();
    if (first == "--help" || first == "-h" || first == "help") {
        for (const auto &c : m_commands) {
            if (first == "help" && args.size() > 1 && c->name() == args[1]) {
                console.out(c->help());
                return Command::Done;
            }
        }
        console.out(help());
        return Command::Done;
    }
    if (first == "--version") {
        console.out("quillmar-cli " QUILLMAR_VERSION "\n");
        return Command::Done;
    }
    for (const auto &c : m_commands) {
        if (c->name() == first) {
            const int status = c->run(args.mid(1), console);
            return console.interrupted() ? Console::interruptStatus() : status;
        }
    }
    console.error({}, QStringLiteral("unknown command ") + QString::fromUtf8(first));
    console.err("Try 'quillmar-cli --help'.\n");
    return Command::Usage;
}
