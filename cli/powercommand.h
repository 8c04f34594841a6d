#ifndef POWERCOMMAND_H
#define POWERCOMMAND_H

#include "clicommand.h"

// pathmere-cli power: one camera switched on (a PowerOnJob), asked again after
// Wake-on-LAN, with an exit code for each outcome.
class PowerCommand : public CliCommand
{
    Q_OBJECT

public:
    using CliCommand::CliCommand;

    int run(const QStringList &arguments) override;
};

#endif // POWERCOMMAND_H
