#ifndef SAMPLEADAPTER_H
#define SAMPLEADAPTER_H

#include "adaptersurvey.h"

#include <QHostAddress>
#include <QString>

// An adapter as the survey reads it: up, not loopback, with one IPv4
// address. Header-only, as samplecamera.h.
inline AdapterSurvey::Adapter sampleAdapter(const QString &name, const QString &address, int prefix = 24)
{
    AdapterSurvey::Adapter adapter;
    adapter.name = name;
    adapter.up = true;
    adapter.addresses.append(AdapterSurvey::Ipv4{QHostAddress(address).toIPv4Address(), prefix});
    return adapter;
}

#endif // SAMPLEADAPTER_H
