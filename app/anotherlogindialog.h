#ifndef ANOTHERLOGINDIALOG_H
#define ANOTHERLOGINDIALOG_H

#include "ui_anotherlogindialog.h"

#include <QDialog>

class QCloseEvent;

// Shown by a start with "-another": this session's instance was taken over
// by a start in another login session. Closing the dialog, by "OK" or by the
// title bar, asks for a restart.
class AnotherLoginDialog : public QDialog, private Ui::AnotherLoginDialog
{
    Q_OBJECT

public:
    explicit AnotherLoginDialog(QWidget *parent = nullptr);
    ~AnotherLoginDialog() override;

    // Lays the form out for a screen of the given logical DPI (96 = design size).
    void scaleForDpi(int logicalDpi);

signals:
    void emitAnotherLoginOk();

private slots:
    void on_OkButton_clicked();

protected:
    void closeEvent(QCloseEvent *event) override;
    // Escape closes like the title bar; a plain reject() would only hide the
    // dialog and leave an invisible process behind.
    void reject() override;

private:
    Q_DISABLE_COPY(AnotherLoginDialog)

    bool closing = false;
};

#endif // ANOTHERLOGINDIALOG_H
