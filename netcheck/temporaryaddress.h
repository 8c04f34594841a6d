#ifndef TEMPORARYADDRESS_H
#define TEMPORARYADDRESS_H

#include <QString>
#include <QtGlobal>

// An IPv4 address this program adds to an adapter for a while (to reach a
// camera in another subnet) and removes again when the object goes, also
// when the process is ended by SIGINT or SIGTERM: the removal request is
// built when the address is added, so the signal handler only sends it over
// netlink. Needs CAP_NET_ADMIN. An address the adapter had already is left
// alone: add() then fails and nothing is removed later.
class TemporaryAddress
{
public:
    // At most this many addresses are held at once by one process.
    static constexpr int MaxHeld = 8;

    TemporaryAddress() = default;
    ~TemporaryAddress();
    TemporaryAddress(const TemporaryAddress &) = delete;
    TemporaryAddress &operator=(const TemporaryAddress &) = delete;

    bool add(const QString &interfaceName, quint32 address, int prefix, QString *error);
    // Removes it now; true when nothing is held any more.
    bool remove(QString *error = nullptr);
    bool isHeld() const { return slot >= 0; }

    // The commands a person would run instead.
    static QString addCommand(const QString &interfaceName, quint32 address, int prefix);
    static QString removeCommand(const QString &interfaceName, quint32 address, int prefix);

private:
    int slot = -1;
};

#endif // TEMPORARYADDRESS_H
