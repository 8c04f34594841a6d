// Holds one temporary adapter address until a signal ends it, for
// tst_landoctor to see the address go again: prints "ready" once it is
// added, or "failed: <why>".
//   temporaryaddressholder INTERFACE ADDRESS PREFIX
#include "temporaryaddress.h"

#include <QHostAddress>
#include <QString>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: temporaryaddressholder INTERFACE ADDRESS PREFIX\n");
        return 2;
    }
    TemporaryAddress held;
    QString error;
    if (!held.add(QString::fromLocal8Bit(argv[1]), QHostAddress(QString::fromLatin1(argv[2])).toIPv4Address(),
                  std::atoi(argv[3]), &error)) {
        std::printf("failed: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}
