#ifndef DOCTORCOMMAND_H
#define DOCTORCOMMAND_H

#include "clicommand.h"

// pathmere-cli doctor: why a search finds nothing. Runs every network check
// (adapters, firewall, reverse-path filter, the search port's holder, a live
// search from each adapter, cameras in another subnet, address conflicts)
// and prints each finding with the command that fixes it.
class DoctorCommand : public CliCommand
{
    Q_OBJECT

public:
    // Exit code when a check found a problem (warnings alone exit 0).
    static constexpr int ProblemFound = 10;

    using CliCommand::CliCommand;
    int run(const QStringList &arguments) override;
};

#endif // DOCTORCOMMAND_H
