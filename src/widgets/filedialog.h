#pragma once

#include <QString>

#include <functional>

class QWidget;

// The common file dialog for table files: filter "Table data (*.txt)", no read-only choice, the save
// dialog confirms replacing a file, the working directory is left alone. An empty result means cancelled.
// Tests replace the chooser so nothing modal blocks a headless run.
namespace FileDialog {

// Exports: their own filter and default suffix ("CSV (*.csv)", "PNG image (*.png)", "PDF (*.pdf)"); jobs:
// "Straightness job (*.json)"; Folder: a directory (made when missing for a save).
enum class Kind { Open, Save, ExportCsv, ExportPng, ExportPdf, OpenJob, SaveJob, Folder };
using Chooser = std::function<QString(Kind kind, const QString& initialFile)>;

[[nodiscard]] QString choose(QWidget* parent, Kind kind, const QString& initialFile);
// An empty chooser restores the real dialog.
void setChooser(Chooser chooser);

} // namespace FileDialog
