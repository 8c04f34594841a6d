#include "onvifsearchsource.h"

OnvifSearchSource::OnvifSearchSource(QObject *parent)
    : SearchSource(parent)
{
    onvif.setWindowMs(MaxWindowMs);
    connect(&onvif, &OnvifSearch::deviceFound, this, &SearchSource::deviceFound);
    connect(&onvif, &OnvifSearch::finished, this, &SearchSource::finished);
}

OnvifSearchSource::~OnvifSearchSource()
{
    disconnect(&onvif, nullptr, this, nullptr);
    onvif.stop();
}

void OnvifSearchSource::setBindAddress(const QString &adapterIp)
{
    onvif.setBindAddress(adapterIp);
}

void OnvifSearchSource::startBroadcast()
{
    started = true;
    onvif.start();
}

QList<DeviceRecord> OnvifSearchSource::takeDeviceRecords()
{
    // Switched on after the search began: the last search's cameras are no
    // answer to this one.
    if (!started)
        return {};
    started = false;
    // Stopping pushes the cameras still waiting for their MAC, so the list
    // holds every camera the pushes announced, and no more.
    onvif.stop();
    return onvif.deviceRecords();
}

void OnvifSearchSource::stopDiscovery()
{
    onvif.stop();
}
