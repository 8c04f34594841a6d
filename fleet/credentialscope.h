#ifndef CREDENTIALSCOPE_H
#define CREDENTIALSCOPE_H

#include <QString>
#include <QtGlobal>

// What one remembered login belongs to: one camera (its MAC and model, the
// identity the search merges by) or one site (an adapter's IPv4 subnet,
// "192.0.2.0/24"), as the user chose when storing it.
class CredentialScope
{
public:
    enum class Kind { None, Camera, Site };

    // A model text longer than this is not a camera's (the search's reply
    // fields are far shorter); such a scope is invalid.
    static constexpr int MaxModelChars = 128;

    CredentialScope() = default;
    // Invalid unless mac is six hex pairs joined by ':' (kept in lower case)
    // and model is neither empty nor longer than MaxModelChars.
    static CredentialScope camera(const QString &mac, const QString &model);
    // The IPv4 network of an adapter's address and mask, host bits cleared:
    // 192.0.2.77 with 255.255.255.0 is "192.0.2.0/24". Invalid for a mask
    // whose one bits do not all come first.
    static CredentialScope site(quint32 address, quint32 mask);
    // "192.0.2.0/24" or "192.0.2.77/24" (the same site); invalid otherwise.
    static CredentialScope siteFromText(const QString &text);
    // The site of this computer's adapter whose subnet holds the IPv4
    // address (dotted text); invalid when none does.
    static CredentialScope siteHolding(const QString &ip);

    Kind kind() const { return m_kind; }
    bool isValid() const { return m_kind != Kind::None; }
    QString mac() const { return m_mac; }
    QString model() const { return m_model; }
    QString subnet() const { return m_subnet; }
    // For a site: whether the IPv4 address lies in its subnet.
    bool contains(quint32 address) const;
    // For messages and the keyring's item label: "camera 00:11:22:33:44:55
    // (MODEL)" or "site 192.0.2.0/24". Never holds a secret.
    QString description() const;

    bool operator==(const CredentialScope &other) const;
    bool operator!=(const CredentialScope &other) const { return !(*this == other); }

private:
    Kind m_kind = Kind::None;
    QString m_mac;
    QString m_model;
    QString m_subnet;
    quint32 m_network = 0;
    quint32 m_mask = 0;
};

#endif // CREDENTIALSCOPE_H
