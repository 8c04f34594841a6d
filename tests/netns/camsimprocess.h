#ifndef CAMSIMPROCESS_H
#define CAMSIMPROCESS_H

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QStringList>

#include <functional>

// One camsim running in a camera namespace of the test LAN, with the JSON
// events it printed so far. The events arrive through the event loop.
class CamsimProcess : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(CamsimProcess)

public:
    explicit CamsimProcess(QObject *parent = nullptr);
    ~CamsimProcess() override;

    // Starts camsim with arguments in the camera namespace with the given
    // index (owning its addresses on the namespace's interface) and waits for
    // its "ready" event. False with errorText() when it did not come up.
    bool start(int cameraSide, const QStringList &arguments, int readyTimeoutMs = 15000);
    // SIGTERM, so camsim gives its addresses back; then waits for it.
    void stop();

    QList<QJsonObject> events() const { return m_events; }
    QList<QJsonObject> events(const QString &name) const;
    int count(const QString &name) const { return events(name).size(); }
    void clearEvents() { m_events.clear(); }
    QString errorText() const { return m_error; }

    // Runs the event loop until condition holds or timeoutMs passed.
    static bool waitUntil(const std::function<bool()> &condition, int timeoutMs);

private slots:
    void readOutput();

private:
    QProcess m_process;
    QByteArray m_pending;
    QList<QJsonObject> m_events;
    QString m_error;
};

#endif // CAMSIMPROCESS_H
