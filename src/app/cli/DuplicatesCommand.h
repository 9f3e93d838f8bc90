#pragma once

#include "app/cli/Command.h"

// duplicates PATH...: files whose contents are the same, as the Duplicates tab finds them.
class DuplicatesCommand : public Command {
public:
    QByteArray name() const override { return "duplicates"; }
    QString description() const override;
    QByteArray operands() const override { return "PATH..."; }
    QList<Option> options() const override;

protected:
    int execute(const Arguments &args, Console &console) override;
};
