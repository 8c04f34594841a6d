#ifndef ROUTELOOKUP_H
#define ROUTELOOKUP_H

#include <QString>
#include <QtGlobal>

// Whether this computer has a route to an IPv4 address, and from which of its
// addresses it would send (what GetBestInterface answers on Windows). A UDP
// socket is connected to the address, which makes the kernel look the route
// up without sending anything, and is closed again.
class RouteLookup
{
public:
    struct Result
    {
        bool routed = false;
        quint32 source = 0;   // the local address the kernel would send from
        QString reason;       // why there is no route
    };

    static Result to(quint32 address);

private:
    RouteLookup() = delete;
};

#endif // ROUTELOOKUP_H
