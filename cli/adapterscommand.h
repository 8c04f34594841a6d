#ifndef ADAPTERSCOMMAND_H
#define ADAPTERSCOMMAND_H

#include "clicommand.h"

// pathmere-cli adapters: the adapters a search can go out of, as the
// window's chooser lists them.
class AdaptersCommand : public CliCommand
{
    Q_OBJECT

public:
    using CliCommand::CliCommand;

    int run(const QStringList &arguments) override;
};

#endif // ADAPTERSCOMMAND_H
