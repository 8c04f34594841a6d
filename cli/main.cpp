#include "clitool.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pathmere-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PATHMERE_VERSION));
    CliTool tool;
    return tool.run(QCoreApplication::arguments());
}
