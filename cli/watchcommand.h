#ifndef WATCHCOMMAND_H
#define WATCHCOMMAND_H

#include "clicommand.h"

// pathmere-cli watch: searches every interval until SIGINT or SIGTERM and
// prints one JSON line per change (appeared, disappeared, moved, changed,
// conflict), each flushed at once so a pipe or the journal sees it as it
// happens. With --baseline the first round is compared with a list saved by
// search, so "new since the last visit" is the first round's output.
class WatchCommand : public CliCommand
{
    Q_OBJECT

public:
    using CliCommand::CliCommand;
    int run(const QStringList &arguments) override;
};

#endif // WATCHCOMMAND_H
