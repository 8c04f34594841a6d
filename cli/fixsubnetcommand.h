#ifndef FIXSUBNETCOMMAND_H
#define FIXSUBNETCOMMAND_H

#include "clicommand.h"

// pathmere-cli fix-subnet: brings a camera that answers from another subnet
// within reach, either by readdressing it into an adapter's subnet (the next
// free address, sent and confirmed as set does) or, with --temporary, by
// giving the adapter an address in the camera's subnet for a while.
class FixSubnetCommand : public CliCommand
{
    Q_OBJECT

public:
    using CliCommand::CliCommand;

    int run(const QStringList &arguments) override;

private:
    // Holds addressText on interfaceName until a signal or holdSeconds (0:
    // no limit), then removes it.
    int holdTemporary(const QString &interfaceName, quint32 address, int prefix, int holdSeconds);
};

#endif // FIXSUBNETCOMMAND_H
