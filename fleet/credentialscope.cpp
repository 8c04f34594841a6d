#include "credentialscope.h"

#include "settingscheck.h"
#include "wakeonlan.h"

CredentialScope CredentialScope::camera(const QString &mac, const QString &model)
{
    CredentialScope scope;
    if (!WakeOnLan::isMacText(mac) || model.isEmpty() || model.size() > MaxModelChars)
        return scope;
    scope.m_kind = Kind::Camera;
    scope.m_mac = mac.toLower();
    scope.m_model = model;
    return scope;
}

CredentialScope CredentialScope::site(quint32 address, quint32 mask)
{
    CredentialScope scope;
    if (SettingsCheck::prefixLength(mask) < 0)
        return scope;
    scope.m_kind = Kind::Site;
    scope.m_network = address & mask;
    scope.m_mask = mask;
    scope.m_subnet = SettingsCheck::subnetText(address, mask);
    return scope;
}

CredentialScope CredentialScope::siteHolding(const QString &ip)
{
    quint32 address = 0;
    if (!SettingsCheck::parseAddress(ip, &address))
        return {};
    const QList<SettingsCheck::HostAddress> hosts = SettingsCheck::hostAddresses();
    for (const SettingsCheck::HostAddress &host : hosts) {
        const CredentialScope scope = site(host.address, host.mask);
        if (scope.isValid() && host.mask != 0 && scope.contains(address))
            return scope;
    }
    return {};
}

CredentialScope CredentialScope::siteFromText(const QString &text)
{
    const int slash = text.indexOf(QLatin1Char('/'));
    quint32 address = 0;
    if (slash < 0 || !SettingsCheck::parseAddress(text.left(slash), &address))
        return {};
    const QString prefixText = text.mid(slash + 1);
    bool ok = false;
    const int prefix = prefixText.toInt(&ok);
    if (!ok || prefixText.isEmpty() || prefixText.size() > 2 || !prefixText.at(0).isDigit() || prefix > 32)
        return {};
    return site(address, prefix == 0 ? 0 : ~quint32(0) << (32 - prefix));
}

bool CredentialScope::contains(quint32 address) const
{
    return m_kind == Kind::Site && (address & m_mask) == m_network;
}

QString CredentialScope::description() const
{
    switch (m_kind) {
    case Kind::Camera:
        return QStringLiteral("camera %1 (%2)").arg(m_mac, m_model);
    case Kind::Site:
        return QStringLiteral("site %1").arg(m_subnet);
    case Kind::None:
        break;
    }
    return QStringLiteral("nothing");
}

bool CredentialScope::operator==(const CredentialScope &other) const
{
    return m_kind == other.m_kind && m_mac == other.m_mac && m_model == other.m_model
        && m_subnet == other.m_subnet;
}
