#ifndef WHYLINE_H
#define WHYLINE_H

#include "devicemarks.h"
#include "devicerecord.h"
#include "networkcheckdialog.h"
#include "networkdoctor.h"

#include <QList>
#include <QObject>
#include <QPointer>

class QLabel;
class QWidget;

// The line under the device table after a search that listed nothing, or
// listed a camera this computer cannot reach, with a "Why?" link. The link
// opens the network checks in a NetworkCheckDialog beside the window; only
// the link does: the line never opens anything by itself.
class WhyLine : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(WhyLine)

public:
    WhyLine(QLabel *label, double dpiScale, QWidget *window);

    // After a search: shows the line when devices is empty or marks says a
    // camera is not reachable, hides it otherwise.
    void showFor(const QList<DeviceRecord> &devices, const DeviceMarks &marks);
    void clear();
    bool isShown() const;
    QString text() const;

    // How the dialog runs the checks (the window: every check).
    void setOptions(const NetworkDoctor::Options &options) { doctorOptions = options; }
    // The dialog, once the link was followed; nullptr before.
    NetworkCheckDialog *dialog() const { return checks; }

signals:
    void dialogOpened();

private:
    void openChecks();

    QLabel *const label;
    QWidget *const window;
    const double dpiScale;
    NetworkDoctor::Options doctorOptions;
    QPointer<NetworkCheckDialog> checks;
};

#endif // WHYLINE_H
