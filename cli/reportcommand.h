#ifndef REPORTCOMMAND_H
#define REPORTCOMMAND_H

#include "clicommand.h"

// pathmere-cli report: the fleet report (cameras per model, firmware per
// model with the cameras behind the newest, DHCP and static, conflicts,
// cameras in no adapter's subnet) from a search or from a list saved by
// `search --format json|csv|csv-raw`.
class ReportCommand : public CliCommand
{
    Q_OBJECT

public:
    using CliCommand::CliCommand;
    int run(const QStringList &arguments) override;
};

#endif // REPORTCOMMAND_H
