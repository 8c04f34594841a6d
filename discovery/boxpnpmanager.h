#ifndef BOXPNPMANAGER_H
#define BOXPNPMANAGER_H

#include "doccamupnpdata.h"
#include "ssdpsearchsource.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

class QUdpSocket;

// Finds the power-management control boxes: multicasts the service
// announcement on port 1988 from every local IPv4 address (or the one bind
// address) and collects the boxes' M-SEARCH-style answers, which arrive on
// port 1988 or 1688, one record per MAC text. The discovery service owns the
// one instance.
class BoxPnPManager : public SsdpSearchSource
{
    Q_OBJECT

public:
    explicit BoxPnPManager(NetworkInterfaceMonitor *monitor, QObject *parent = nullptr);
    ~BoxPnPManager() override;

    // The discovery service's instance (null while none lives).
    static BoxPnPManager *getInstance();

    // Ends the search and returns what it found.
    QList<DocCamUpnpData> takeFoundBoxes() { return takeFound(); }

private slots:
    void ssdpReadyRead();
    void newssdpReadyRead();
    void searchAllDocCam();

private:
    Q_DISABLE_COPY(BoxPnPManager)

    void openAddress(const QHostAddress &address) override;
    void sendSearch() override { searchAllDocCam(); }

    QUdpSocket *openSocket(const QHostAddress &address, quint16 port, const char *joinSuccess,
                           const char *joinFailure);
    void ssdpHandler(const QByteArray &packet, const QString &ipAddress);
};

#endif // BOXPNPMANAGER_H
