#ifndef CLITOOL_H
#define CLITOOL_H

#include "clicommand.h"

#include <QStringList>

// pathmere-cli: one command per run (adapters, search, set, assign, power),
// each a class of its own on the coordinator of the discovery service that
// main() owns; this picks the command and answers --help and --version.
class CliTool : public CliCommand
{
    Q_OBJECT

public:
    using CliCommand::CliCommand;

    // arguments: what follows the program's name.
    int run(const QStringList &arguments) override;
};

#endif // CLITOOL_H
