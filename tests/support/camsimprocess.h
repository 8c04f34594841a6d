#ifndef CAMSIMPROCESS_H
#define CAMSIMPROCESS_H

#include "jsonlinesprocess.h"

#include <QStringList>

// One camsim running in a camera namespace of the test LAN, with the JSON
// events it printed so far (see JsonLinesProcess).
class CamsimProcess : public JsonLinesProcess
{
    Q_OBJECT
    Q_DISABLE_COPY(CamsimProcess)

public:
    explicit CamsimProcess(QObject *parent = nullptr);

    // Starts camsim with arguments in the camera namespace with the given
    // index (owning its addresses on the namespace's interface) and waits for
    // its "ready" event. False with errorText() when it did not come up.
    bool start(int cameraSide, const QStringList &arguments, int readyTimeoutMs = 15000);
    // The same with one --camera option for each camera description
    // ("mac=...,ip=...", as camsim reads them).
    bool startCameras(int cameraSide, const QStringList &cameras, int readyTimeoutMs = 15000);
    QString errorText() const { return m_error; }

private:
    QString m_error;
};

#endif // CAMSIMPROCESS_H
