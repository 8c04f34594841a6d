#include "clitool.h"
#include "discoveryservice.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pathmere-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PATHMERE_VERSION));
    // Discovery lives as long as the command runs, and no longer.
    DiscoveryService discovery;
    CliTool tool;
    return tool.run(QCoreApplication::arguments().mid(1));
}
