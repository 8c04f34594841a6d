#ifndef ABOUTDLG_H
#define ABOUTDLG_H

#include <QWidget>

namespace Ui {
class AboutDlg;
}

// The About window. Closing it only hides it, so the main window creates it
// once and shows the same instance on every press of its info button.
class AboutDlg : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(AboutDlg)

public:
    // dpiScale is the main window's logical DPI / 96; the form's geometry is
    // in units of 96 DPI and is scaled with it.
    explicit AboutDlg(QWidget *parent = nullptr, double dpiScale = 1.0);
    ~AboutDlg() override;

    static QString versionText();

    // Beside "Check update": what the last automatic check left to say
    // (empty: nothing).
    void setUpdateStatus(const QString &text);

signals:
    // "Check update" was pressed.
    void checkUpdate();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Ui::AboutDlg *ui;
};

#endif // ABOUTDLG_H
