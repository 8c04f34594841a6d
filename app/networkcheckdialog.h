#ifndef NETWORKCHECKDIALOG_H
#define NETWORKCHECKDIALOG_H

#include "checkresult.h"
#include "networkdoctor.h"

#include <QDialog>
#include <QList>

namespace Ui {
class NetworkCheckDialog;
}

// The window's answer to "Why?": the same checks as pathmere-cli doctor,
// run by a NetworkDoctor (its readings off the GUI thread, its live search
// on timers), listed one finding a row with the command that fixes it.
// Never modal: the window stays usable while the checks run.
class NetworkCheckDialog : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY(NetworkCheckDialog)

public:
    explicit NetworkCheckDialog(QWidget *parent = nullptr, double dpiScale = 1.0);
    ~NetworkCheckDialog() override;

    // Starts a run unless one is running; the list shows its results when
    // it ends.
    void start(const NetworkDoctor::Options &options = NetworkDoctor::Options());
    bool isRunning() const { return doctor->isRunning(); }
    QList<CheckResult> results() const { return shown; }

signals:
    void finished(const QList<CheckResult> &results);

private:
    void showResults(const QList<CheckResult> &results);

    Ui::NetworkCheckDialog *ui;
    NetworkDoctor *doctor;
    NetworkDoctor::Options lastOptions;
    QList<CheckResult> shown;
};

#endif // NETWORKCHECKDIALOG_H
