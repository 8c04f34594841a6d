#ifndef ERRORHANDLEDIALOG_H
#define ERRORHANDLEDIALOG_H

#include "corvanewidgets_global.h"

#include <QDialog>
#include <QMap>
#include <QString>
#include <QTranslator>

#include <memory>

class QZipWriter;

namespace Ui {
class ErrorHandleDialog;
}

// The crash dialog: tells the user the program closed unexpectedly and saves
// the registered folders (the log folder first of all) as one zip archive.
// Shown by ErrorHandleDialogLauncher in the running program, and by the
// crash-dialog program (corvane-crashdialog) for a program that crashed.
class CORVANE_WIDGETS_EXPORT ErrorHandleDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ErrorHandleDialog(QWidget *parent = nullptr);
    ~ErrorHandleDialog() override;

    bool autoRestart() const;
    void setAutoRestart(bool autoRestart);

    // Files below folderPath go into the zip as zipFolderName + "/" + bare
    // file name; a second call with the same zipFolderName replaces the first.
    void addFolderToZip(const QString &zipFolderName, const QString &folderPath);
    QMap<QString, QString> zipFolders() const;

    // Path of the translation file that was loaded, empty if none could be.
    QString translationFile() const;

    // "Corvane_<code>.qm" for a recognised language code, the en_US file for
    // anything else; codes are compared case-sensitively.
    static QString translationFileName(const QString &languageCode);

protected:
    // Asks the user where to save the zip; a null string means cancelled.
    // Tests replace it so that no modal file dialog ever opens there.
    virtual QString askSaveFileName();

    // Lays the form out for a screen of the given logical DPI (96 = the sizes of the .ui form).
    void scaleForDpi(int logicalDpi);

private slots:
    void on_btnSave_clicked();
    void on_btnExit_clicked();

private:
    Q_DISABLE_COPY(ErrorHandleDialog)

    void loadTranslation();
    void addFolderFiles(const QString &zipFolderName, const QString &folderPath,
                        const QString &skipPath);

    // The generated form stays out of this header, so that users of the
    // dialog need neither the form's generated header nor its folder.
    const std::unique_ptr<Ui::ErrorHandleDialog> ui;
    QTranslator translator;
    bool m_autoRestart = true;
    QZipWriter *writer = nullptr;
    QMap<QString, QString> m_zipFolders;
};

#endif // ERRORHANDLEDIALOG_H
