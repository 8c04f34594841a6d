#ifndef SETTINGSCHECK_H
#define SETTINGSCHECK_H

#include "devicerecord.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QtGlobal>

// The one judgement of a planned address before anything goes to a camera:
// the window's Apply, the command line's set and assign, and the page's
// power-on target all ask it, so a setting refused by one front end is
// refused by every other. The checks are pure; what the network holds (the
// devices a search found, this computer's addresses, the answers to an
// address-conflict probe) comes in as Surroundings, gathered by the caller.
class SettingsCheck
{
public:
    enum class Field { Ip, Mask, Gateway, Range, Target };
    enum class Kind {
        Malformed,   // can never work; nothing overrides it
        Conflict     // someone else holds the address; the command line's --force may override it
    };

    struct Problem
    {
        Field field = Field::Ip;
        Kind kind = Kind::Malformed;
        quint32 value = 0;   // the address or mask refused (the first address for a range)
        // Follows the field's name and value: "is the broadcast address of 192.0.2.0/24".
        QString reason;
    };

    // A static setting as it would be sent.
    struct Planned
    {
        QString mac;          // the camera's own: its own address is no conflict
        quint32 ip = 0;
        quint32 mask = 0;
        quint32 gateway = 0;  // 0: none
    };

    struct HostAddress
    {
        quint32 address = 0;
        quint32 mask = 0;
    };

    struct Surroundings
    {
        QList<DeviceRecord> devices;              // what the search found
        QList<HostAddress> host;                  // this computer's IPv4 addresses
        QMultiHash<quint32, QString> probeAnswers;   // address -> MACs that answered a probe for it
    };

    // Every problem of a planned static setting, malformed ones first; empty
    // when it may be sent.
    static QList<Problem> check(const Planned &planned, const Surroundings &around);
    // A range for batch addressing: it must lie inside one subnet of mask.
    static QList<Problem> checkRange(quint32 first, quint32 last, quint32 mask);
    // An address a command goes to by unicast on behalf of the camera with
    // this MAC (a power-on): no broadcast, multicast or special address, not
    // this computer, not an address another device of the search holds.
    static QList<Problem> checkTarget(quint32 address, const QString &mac, const Surroundings &around);

    static bool hasMalformed(const QList<Problem> &problems);
    // -1 for a mask whose one bits do not all come first.
    static int prefixLength(quint32 mask);
    // True when address is neither the network nor the broadcast address of
    // its subnet under mask.
    static bool isHostInSubnet(quint32 address, quint32 mask);
    // "192.0.2.0/24"
    static QString subnetText(quint32 address, quint32 mask);
    static QString addressText(quint32 address);
    // Dotted decimal to an address; false for anything else (empty text too).
    static bool parseAddress(const QString &text, quint32 *address);

    // This computer's IPv4 addresses with their masks, loopback included (a
    // camera may not be given any of them). The one call here that asks the
    // system.
    static QList<HostAddress> hostAddresses();

private:
    SettingsCheck() = delete;
};

#endif // SETTINGSCHECK_H
