#ifndef FLEETREPORT_H
#define FLEETREPORT_H

#include "devicerecord.h"
#include "settingscheck.h"

#include <QList>
#include <QString>
#include <QStringList>

// The figures of a fleet report, from a device list (a search's or a saved
// one) and this computer's adapters. Pure: the writers turn it into HTML,
// CSV or JSON.
struct FleetReport
{
    struct Firmware
    {
        QString version;
        int cameras = 0;
        bool comparable = true;   // false: no numbers in it, so neither newest nor oldest
        bool newest = false;
        bool oldest = false;
    };

    struct Model
    {
        QString model;
        int cameras = 0;
        QList<Firmware> firmware;      // newest first; texts without numbers last
        QString newest;                // empty when no version of the model has numbers
        QString oldest;
        QList<DeviceRecord> behind;    // cameras whose firmware is older than the newest
    };

    // One camera with what the report says about it.
    struct Camera
    {
        DeviceRecord device;
        QString newest;           // its model's newest firmware
        bool behind = false;      // its firmware is older than that
        bool conflict = false;    // another device answers from its address
        bool outside = false;     // its address is in no adapter's subnet
    };

    struct Conflict
    {
        QString ip;
        QList<DeviceRecord> devices;
    };

    int cameras = 0;
    int duplicatesDropped = 0;     // records of a MAC and model listed before, and records without a MAC
    int dhcp = 0;
    int fixed = 0;                 // static addresses
    int modeUnknown = 0;           // found by a source that does not say (SSDP)
    QList<Model> models;           // most cameras first, then by name
    QList<Conflict> conflicts;     // in address order
    bool subnetsKnown = false;     // false: no adapter given, so nothing is outside
    QStringList subnets;           // the adapters' subnets, "192.0.2.0/24", each once
    QList<DeviceRecord> outsideSubnets;
    QList<Camera> devices;         // every camera counted, by model then address

    // Loopback adapters are left out; a camera is outside when its address
    // is in none of the other adapters' subnets (or is no address at all).
    static FleetReport make(const QList<DeviceRecord> &devices, const QList<SettingsCheck::HostAddress> &adapters);

};

#endif // FLEETREPORT_H
