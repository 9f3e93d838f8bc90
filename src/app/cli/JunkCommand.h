#pragma once

#include "app/cli/Command.h"

// junk: the Junk tab's categories, measured; nothing is removed.
class JunkCommand : public Command {
public:
    QByteArray name() const override { return "junk"; }
    QString description() const override;
    QByteArray operands() const override { return {}; }
    QList<Option> options() const override;
    int minimumPaths() const override { return 0; }
    int maximumPaths() const override { return 0; }

protected:
    int execute(const Arguments &args, Console &console) override;
};
