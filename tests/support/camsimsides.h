#ifndef CAMSIMSIDES_H
#define CAMSIMSIDES_H

#include "camsimprocess.h"

#include <QString>
#include <QStringList>

#include <array>
#include <memory>

// The camera sides of a test-LAN suite: at most one camsim in each camera
// namespace, started by a case and all stopped together when it ends.
class CamsimSides
{
public:
    static constexpr int MaxSides = 2;

    CamsimSides();
    ~CamsimSides();
    Q_DISABLE_COPY(CamsimSides)

    // Starts camsim in camera namespace index (replacing the one there);
    // false, with the reason printed, when it did not come up.
    bool start(int index, const QStringList &arguments);
    // The same with one --camera option for each camera description.
    bool startCameras(int index, const QStringList &cameras);
    // The camsim of side index, or null.
    CamsimProcess *operator[](int index) const;
    // The events called name that every side printed so far.
    int count(const QString &name) const;
    // Stops every side (a case's cleanup).
    void stop();

private:
    CamsimProcess *fresh(int index);

    std::array<std::unique_ptr<CamsimProcess>, MaxSides> sides;
};

#endif // CAMSIMSIDES_H
