#pragma once

#include "app/cli/Command.h"

// large PATH...: the largest files below the folders.
class LargeCommand : public Command {
public:
    QByteArray name() const override { return "large"; }
    QString description() const override;
    QByteArray operands() const override { return "PATH..."; }
    QList<Option> options() const override;

protected:
    int execute(const Arguments &args, Console &console) override;
};
