#include "adapterscommand.h"

#include "networkadapterentry.h"
#include "searchmanager.h"

#include <QCommandLineParser>

int AdaptersCommand::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    if (const int r = parse(&parser, arguments, QStringLiteral("adapters"),
                            QStringLiteral("Lists the network adapters as the window's chooser does: "
                                           "description, then its IPv4 addresses."),
                            QStringLiteral("pathmere-cli adapters")))
        return r < 0 ? Ok : r;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("adapters takes no arguments"));
    const QList<NetworkAdapterEntry> adapters = manager->getNetworkAdapters();
    for (const NetworkAdapterEntry &adapter : adapters) {
        QString description = adapter.description;
        for (QChar &c : description) {
            if (!c.isPrint())
                c = QLatin1Char('?');
        }
        out(QStringLiteral("%1\t%2\n").arg(description, adapter.address.split(QStringLiteral("\r\n")).join(QLatin1Char(' '))));
    }
    return Ok;
}
