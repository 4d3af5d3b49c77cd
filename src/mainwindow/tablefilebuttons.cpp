// The main window's buttons for table files and the clipboard.
#include "mainwindow/formmain.h"

#include "analysis/csvexport.h"
#include "settings/settingvalues.h"
#include "state/appstate.h"
#include "tables/recovery.h"
#include "tables/tablefiles.h"
#include "tables/tables.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>

void FormMain::openTable()
{
    const QString chosen = FileDialog::choose(this, FileDialog::Kind::Open, m_dataPath);
    if (chosen.isEmpty())
        return;
    // Stored before the file is read, so it names the file even when opening fails.
    m_dataPath = chosen;
    SettingValues::writeText(SettingKeys::DataPath, m_dataPath);
    Recovery::keep(m_tables.current(), m_tables.currentNumber(), Recovery::Cause::OpenFile,
                   m_state.options.useComma);
    (void)TableFiles::loadTable(m_tables.current(), m_dataPath, m_state.angles.angleUnit);
    m_tables.setFileName(m_tables.currentNumber(), m_dataPath);
}

void FormMain::saveTable()
{
    const QString chosen = FileDialog::choose(this, FileDialog::Kind::Save, m_dataPath);
    if (chosen.isEmpty())
        return;
    m_dataPath = chosen;
    SettingValues::writeText(SettingKeys::DataPath, m_dataPath);
    if (TableFiles::saveTable(m_tables.current(), m_dataPath, m_state.options.useComma))
        m_tables.setFileName(m_tables.currentNumber(), m_dataPath);
    else
        MessageBox::show(this,
                         QStringLiteral("The table could not be saved to ") + m_dataPath + QLatin1Char('.'));
}

void FormMain::exportCsv()
{
    const Table& grid = m_tables.current();
    const QString suggested = m_dataPath.isEmpty() ? QString() : QFileInfo(m_dataPath).path();
    const QString chosen = FileDialog::choose(this, FileDialog::Kind::ExportCsv, suggested);
    if (chosen.isEmpty())
        return;
    CsvExport::Table table;
    table.tobar = m_state.options.modeTobar;
    table.lines = grid.count();
    table.cell = [&grid](qint32 line, qint32 col) { return grid.cell(line, col); };
    table.record = [&grid](qint32 line) { return grid.record(line); };
    if (!CsvExport::write(table, chosen))
        MessageBox::show(this,
                         QStringLiteral("The table could not be exported to ") + chosen + QLatin1Char('.'));
}

void FormMain::copyTableToClipboard()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    clipboard->clear();
    clipboard->setText(TableFiles::tableText(m_tables.current(), m_state.options.useComma));
}
