#ifndef GROUPSOCKET_H
#define GROUPSOCKET_H

#include "eventlog.h"

#include <QtGlobal>

class QObject;
class QUdpSocket;

// A wildcard UDP socket on a port of the 239.255.255.250 group (SSDP and
// WS-Discovery share the group), joined on every multicast interface of the
// namespace, so the camera side hears what the program multicasts.
class GroupSocket
{
public:
    static constexpr char Group[] = "239.255.255.250";

    // nullptr (an "error" event written) when the port cannot be bound; a
    // failed join is written as an "error" event and the socket kept.
    static QUdpSocket *bind(quint16 port, const EventLog &log, QObject *parent);

private:
    GroupSocket() = delete;
};

#endif // GROUPSOCKET_H
