#ifndef FORGETCOMMAND_H
#define FORGETCOMMAND_H

#include "clicommand.h"

// pathmere-cli forget: removes logins this program stored in the keyring,
// of one camera (every model it was stored with), of one site, or all.
class ForgetCommand : public CliCommand
{
    Q_OBJECT

public:
    using CliCommand::CliCommand;
    int run(const QStringList &arguments) override;
};

#endif // FORGETCOMMAND_H
