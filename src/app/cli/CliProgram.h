#pragma once

#include "app/cli/Command.h"

#include <QByteArray>
#include <QList>

#include <memory>
#include <vector>

// quillmar-cli: picks the subcommand named first and runs it.
class CliProgram {
public:
    CliProgram();
    ~CliProgram();

    // `args` without the program's own name; returns the exit status.
    int run(const QList<QByteArray> &args);
    QByteArray help() const;

private:
    std::vector<std::unique_ptr<Command>> m_commands;
};
