#pragma once

#include "app/cli/Command.h"

// trash PATH...: moves each item to the Trash through the same safety check as the window.
class TrashCommand : public Command {
public:
    QByteArray name() const override { return "trash"; }
    QString description() const override;
    QByteArray operands() const override { return "PATH..."; }
    QList<Option> options() const override { return {}; }

protected:
    int execute(const Arguments &args, Console &console) override;
};
