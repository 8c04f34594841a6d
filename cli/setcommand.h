#ifndef SETCOMMAND_H
#define SETCOMMAND_H

#include "clicommand.h"

// pathmere-cli set: one camera's new network settings, checked before they
// go out and confirmed by a new search (an ApplySettingsJob).
class SetCommand : public CliCommand
{
    Q_OBJECT

public:
    using CliCommand::CliCommand;

    int run(const QStringList &arguments) override;
};

#endif // SETCOMMAND_H
