#ifndef SEARCHSOURCE_H
#define SEARCHSOURCE_H

#include "devicerecord.h"

#include <QList>
#include <QObject>
#include <QString>

// One way of finding devices: the utility broadcast search, the two SSDP
// discoveries, and whatever comes later (a WS-Discovery probe, a unicast
// sweep of routed subnets). The coordinator knows a source only through this
// and the search type it registered it under, so a new source is one more
// registration and nothing else.
//
// A source pushes each device the moment it first knows it (deviceFound),
// for whoever shows cameras as they answer; the coordinator still takes the
// whole merged list when the caller ends the search.
class SearchSource : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~SearchSource() override = default;

    // The adapter address the next search goes out of ("" for every one).
    virtual void setBindAddress(const QString &adapterIp) = 0;
    // How long after setBindAddress the coordinator starts the search.
    virtual int startDelayMs() const { return 0; }
    // Starts one search; answers are taken until takeDeviceRecords().
    virtual void startBroadcast() = 0;
    // Ends the search and returns what it found. The coordinator sets each
    // record's search type; a source fills the fields it knows.
    virtual QList<DeviceRecord> takeDeviceRecords() = 0;
    // Ends a running search without taking its list (shutdown).
    virtual void stopDiscovery() = 0;

signals:
    // A device the running search had not listed yet.
    void deviceFound(const DeviceRecord &record);
    // The search ended (taken or stopped).
    void finished();

private:
    Q_DISABLE_COPY(SearchSource)
};

#endif // SEARCHSOURCE_H
