#include "anotherlogindialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopWidget>

namespace {

int scaled(int designValue, double factor)
{
    return static_cast<int>(designValue * factor);
}

} // namespace

AnotherLoginDialog::AnotherLoginDialog(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint
                   | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);
    scaleForDpi(QApplication::desktop()->logicalDpiX());
}

AnotherLoginDialog::~AnotherLoginDialog() = default;

void AnotherLoginDialog::scaleForDpi(int logicalDpi)
{
    const double factor = logicalDpi / 96.0;
    setFixedSize(scaled(480, factor), scaled(150, factor));
    label->setGeometry(scaled(10, factor), scaled(30, factor), scaled(451, factor), scaled(51, factor));
    OkButton->setGeometry(scaled(175, factor), scaled(100, factor), scaled(130, factor), scaled(34, factor));
}

void AnotherLoginDialog::on_OkButton_clicked()
{
    close();
}

void AnotherLoginDialog::closeEvent(QCloseEvent *event)
{
    closing = true;
    emit emitAnotherLoginOk();
    QDialog::closeEvent(event);
    closing = false;
}

void AnotherLoginDialog::reject()
{
    if (closing)
        QDialog::reject();
    else
        close();
}
