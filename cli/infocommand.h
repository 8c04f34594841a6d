#ifndef INFOCOMMAND_H
#define INFOCOMMAND_H

#include "clicommand.h"

// pathmere-cli info: what an ONVIF camera says of itself with the user's
// login (maker, model, firmware, serial, MAC and IPv4 settings), as JSON.
class InfoCommand : public CliCommand
{
    Q_OBJECT

public:
    using CliCommand::CliCommand;

    int run(const QStringList &arguments) override;
};

#endif // INFOCOMMAND_H
