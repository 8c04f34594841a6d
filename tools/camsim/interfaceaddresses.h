#ifndef INTERFACEADDRESSES_H
#define INTERFACEADDRESSES_H

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

// The IPv4 addresses the simulated cameras own on one interface. A camera in
// a namespace "moves" by adding its new address to the interface and dropping
// the old one, so it answers unicast and VISCA traffic exactly where the
// program expects it. Only addresses added here are ever removed.
class InterfaceAddresses
{
public:
    explicit InterfaceAddresses(const QString &interfaceName);
    ~InterfaceAddresses();
    Q_DISABLE_COPY(InterfaceAddresses)

    bool managed() const { return !m_interface.isEmpty(); }
    const QString &interfaceName() const { return m_interface; }

    // Adds ip with the prefix length of mask unless the host has it already.
    bool claim(const QString &ip, const QString &mask, QString *error);
    // The same for many addresses (ip, mask) at once, with one ip(8) run: a
    // site of hundreds of cameras comes up in a moment. All or nothing is
    // checked first; *error names the first address refused.
    bool claimAll(const QList<QPair<QString, QString>> &addresses, QString *error);
    // Removes ip when it was added here.
    void release(const QString &ip);
    void releaseAll();

    // True when ip is one of the host's addresses right now.
    static bool isLocal(const QString &ip);
    static int prefixLength(const QString &mask);

private:
    static bool runIp(const QStringList &arguments, QString *error, const QByteArray &input = QByteArray());
    bool refuses(const QString &ip, QString *error) const;

    QString m_interface;
    QHash<QString, int> m_added;   // address -> prefix length
};

#endif // INTERFACEADDRESSES_H
