#ifndef SEARCHCOMMAND_H
#define SEARCHCOMMAND_H

#include "clicommand.h"

#include <QSet>

// pathmere-cli search: one search and the merged device list as a table,
// JSON or CSV, or each device as it first answers (--stream).
class SearchCommand : public CliCommand
{
    Q_OBJECT

public:
    using CliCommand::CliCommand;

    int run(const QStringList &arguments) override;

private:
    QSet<QString> streamed;   // MACs of swept cameras already printed by --stream
};

#endif // SEARCHCOMMAND_H
