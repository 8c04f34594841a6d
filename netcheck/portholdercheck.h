#ifndef PORTHOLDERCHECK_H
#define PORTHOLDERCHECK_H

#include "checkresult.h"
#include "socketowner.h"
#include "socketprocesses.h"

#include <QList>

// Another program holding the search port: the search binds it with address
// reuse and so starts anyway, but an answer sent to this computer's address
// reaches only one of the sockets, whichever bound last. The holder is named
// where its descriptors can be seen; otherwise the user it runs as is.
class PortHolderCheck
{
public:
    struct Reading
    {
        quint16 port = 0;
        QList<SocketOwner::Entry> sockets;   // bound to the port
        bool tableComplete = true;
        SocketProcesses::Result processes;   // for the sockets' inodes
    };

    // Reads the socket tables and the processes for port.
    static Reading read(quint16 port);

    // ownPid: this process, whose own sockets are no conflict.
    static QList<CheckResult> evaluate(const Reading &reading, qint64 ownPid);

private:
    PortHolderCheck() = delete;
};

#endif // PORTHOLDERCHECK_H
