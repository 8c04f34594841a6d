#include "webrequestlimiter.h"

#include <QJsonArray>

namespace {

// The web channel's message type of a method call (QWebChannel's protocol).
constexpr int ChannelInvokeMethod = 6;

} // namespace

WebRequestLimiter::Kind WebRequestLimiter::kindOf(WebAnalytic::Command::Kind command)
{
    switch (command) {
    case WebAnalytic::Command::UpdateDeviceList:
        return Kind::UpdateDeviceList;
    case WebAnalytic::Command::SetPower:
        return Kind::SetPower;
    case WebAnalytic::Command::CheckVersion:
        return Kind::CheckVersion;
    case WebAnalytic::Command::Status:
    case WebAnalytic::Command::None:
        break;
    }
    return Kind::None;
}

WebRequestLimiter::Kind WebRequestLimiter::kindOf(const QJsonObject &channelMessage)
{
    if (channelMessage.value(QStringLiteral("type")).toInt(-1) != ChannelInvokeMethod
        || channelMessage.value(QStringLiteral("object")).toString() != QLatin1String("core"))
        return Kind::None;
    // "core" has one method with a text: every text argument is read as
    // Core would hand it on.
    const QJsonArray args = channelMessage.value(QStringLiteral("args")).toArray();
    if (args.isEmpty() || !args.first().isString())
        return Kind::None;
    return kindOf(WebAnalytic::readCommand(args.first().toString()).kind);
}

const char *WebRequestLimiter::nameOf(Kind kind)
{
    switch (kind) {
    case Kind::UpdateDeviceList:
        return "UpdateDeviceList";
    case Kind::SetPower:
        return "SetPower";
    case Kind::CheckVersion:
        return "CheckVersion";
    case Kind::None:
        break;
    }
    return "";
}

bool WebRequestLimiter::admit(Kind kind, qint64 nowMs)
{
    if (kind == Kind::None)
        return true;
    Bucket &bucket = buckets[size_t(kind) - 1];
    if (!bucket.started) {
        bucket.started = true;
        bucket.lastRefillMs = nowMs;
    } else if (nowMs > bucket.lastRefillMs) {
        const qint64 earned = (nowMs - bucket.lastRefillMs) / RefillMs;
        if (earned > 0) {
            bucket.tokens = int(qMin<qint64>(Burst, bucket.tokens + earned));
            bucket.lastRefillMs += earned * RefillMs;
        }
    }
    if (bucket.tokens == Burst)
        bucket.lastRefillMs = nowMs;   // a full bucket earns nothing while it waits
    if (bucket.tokens <= 0)
        return false;
    --bucket.tokens;
    return true;
}
