#include "widgets/filedialog.h"

#include <QFileDialog>

namespace FileDialog {

namespace {
Chooser& chooser()
{
    static Chooser current;
    return current;
}
} // namespace

QString choose(QWidget* parent, Kind kind, const QString& initialFile)
{
    if (chooser())
        return chooser()(kind, initialFile);
    if (kind == Kind::Folder)
        return QFileDialog::getExistingDirectory(parent, QString(), initialFile);
    if (kind == Kind::OpenJob || kind == Kind::SaveJob) {
        QFileDialog dialog(parent, QString(), initialFile, QStringLiteral("Straightness job (*.json)"));
        dialog.setAcceptMode(kind == Kind::SaveJob ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(kind == Kind::SaveJob ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(QStringLiteral("json"));
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().first()
                   : QString();
    }
    if (kind != Kind::Open && kind != Kind::Save) {
        const bool csv = kind == Kind::ExportCsv;
        const bool png = kind == Kind::ExportPng;
        QFileDialog dialog(parent, QString(), initialFile,
                           csv   ? QStringLiteral("CSV (*.csv)")
                           : png ? QStringLiteral("PNG image (*.png)")
                                 : QStringLiteral("PDF (*.pdf)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(csv   ? QStringLiteral("csv")
                                : png ? QStringLiteral("png")
                                      : QStringLiteral("pdf"));
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().first()
                   : QString();
    }
    const QString filter = QStringLiteral("Table data (*.txt)");
    // QFileDialog never changes the working directory and offers no read-only choice; the save dialog
    // asks before replacing unless told not to.
    if (kind == Kind::Open)
        return QFileDialog::getOpenFileName(parent, QString(), initialFile, filter);
    return QFileDialog::getSaveFileName(parent, QString(), initialFile, filter);
}

void setChooser(Chooser c)
{
    chooser() = std::move(c);
}

} // namespace FileDialog
