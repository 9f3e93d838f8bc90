#pragma once

#include "app/cli/Command.h"

// scan PATH: a folder's total and its children's, as the storage map measures them, or
// with --export as a file ncdu opens.
class ScanCommand : public Command {
public:
    QByteArray name() const override { return "scan"; }
    QString description() const override;
    QByteArray operands() const override { return "PATH"; }
    QList<Option> options() const override;
    int maximumPaths() const override { return 1; }

protected:
    int execute(const Arguments &args, Console &console) override;
};
