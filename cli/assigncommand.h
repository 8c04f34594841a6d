#ifndef ASSIGNCOMMAND_H
#define ASSIGNCOMMAND_H

#include "clicommand.h"

// pathmere-cli assign: static addresses from a range for a batch of cameras,
// planned, checked, sent and confirmed by one new search (an ApplySettingsJob).
class AssignCommand : public CliCommand
{
    Q_OBJECT

public:
    using CliCommand::CliCommand;

    int run(const QStringList &arguments) override;
};

#endif // ASSIGNCOMMAND_H
