#ifndef ONVIFSEARCHSOURCE_H
#define ONVIFSEARCHSOURCE_H

#include "onvifsearch.h"
#include "searchsource.h"

#include <QList>
#include <QString>

// The WS-Discovery search as one source of the coordinator (search type
// DeviceRecord::Onvif): it runs from startBroadcast until the coordinator
// takes its list, however long the caller's search lasts, and pushes each
// camera as the search does. A search left running ends by itself after
// MaxWindowMs, so sockets on port 3702 never stay open for good.
class OnvifSearchSource : public SearchSource
{
    Q_OBJECT

public:
    static constexpr int MaxWindowMs = 10 * 60 * 1000;

    explicit OnvifSearchSource(QObject *parent = nullptr);
    ~OnvifSearchSource() override;

    void setBindAddress(const QString &adapterIp) override;
    void startBroadcast() override;
    QList<DeviceRecord> takeDeviceRecords() override;
    void stopDiscovery() override;

    // The search itself (tests set its neighbour table).
    OnvifSearch *search() { return &onvif; }

private:
    Q_DISABLE_COPY(OnvifSearchSource)

    OnvifSearch onvif;
    bool started = false;   // since the list was last taken
};

#endif // ONVIFSEARCHSOURCE_H
