#ifndef WEBREQUESTLIMITER_H
#define WEBREQUESTLIMITER_H

#include "webanalytic.h"

#include <QJsonObject>

#include <array>

// How often one client of the bridge may send the requests that put traffic
// on the network: "UpdateDeviceList" (two broadcasts per adapter),
// "SetPower" (VISCA, then Wake-on-LAN bursts) and "CheckVersion" (the
// update server). Each kind has its own bucket per client: Burst requests at
// once, then one more every RefillMs. A person clicking never meets the
// limit; a loop sending them without end gets through at that pace only.
class WebRequestLimiter
{
public:
    static constexpr int Burst = 4;
    static constexpr qint64 RefillMs = 2000;

    enum class Kind { None, UpdateDeviceList, SetPower, CheckVersion };

    // The limited request a web channel message of the page carries: an
    // invocation on "core" whose text argument is one of the three commands.
    static Kind kindOf(const QJsonObject &channelMessage);
    static Kind kindOf(WebAnalytic::Command::Kind command);
    static const char *nameOf(Kind kind);

    // Takes one request of kind at nowMs (a monotonic clock); false when
    // the client has none left for now. Kind::None is always admitted.
    bool admit(Kind kind, qint64 nowMs);

private:
    struct Bucket
    {
        int tokens = Burst;
        qint64 lastRefillMs = 0;
        bool started = false;
    };
    std::array<Bucket, 3> buckets;
};

#endif // WEBREQUESTLIMITER_H
