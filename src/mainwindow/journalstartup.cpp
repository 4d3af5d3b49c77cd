#include "mainwindow/journalstartup.h"

#include "journal/journal.h"
#include "link/link.h"
#include "settings/settingvalues.h"
#include "state/appstate.h"
#include "tables/tables.h"
#include "widgets/messagebox.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

#include <algorithm>

namespace JournalStartup {

std::unique_ptr<Journal> start(QWidget* parent, AppState& state, Tables& tables, Link& link,
                               const QString& folder)
{
    auto journal = std::make_unique<Journal>(
        folder, std::max(SettingValues::readInt32(SettingKeys::JournalDays), 0),
        qint64(std::max(SettingValues::readInt32(SettingKeys::JournalMegabytes), 1)) << 20);
    std::optional<qint64> restored;
    if (const std::optional<Journal::Session> s = journal->unclean()) {
        // The first display tick lays the window out for the mode, emptying the tables: the offer comes
        // after it, and no input is taken meanwhile.
        while (state.options.oldModeTobar != state.options.modeTobar)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents |
                                            QEventLoop::ExcludeUserInputEvents);
        const QLocale locale;
        QString text =
            QStringLiteral("TARNOLUX was not closed normally in the session started %1.\n"
                           "Restore its tables and measurement log?\n")
                .arg(locale.toString(QDateTime::fromMSecsSinceEpoch(s->start), QLocale::ShortFormat));
        for (int n = 1; n <= Tables::Count; ++n)
            text += QStringLiteral("\nTable %1: %2 lines").arg(n).arg(s->lines[size_t(n - 1)]);
        text += QStringLiteral("\nMeasurement log: %1 measurements").arg(s->measurements);
        const QStringList buttons{QStringLiteral("Restore"), QStringLiteral("Discard")};
        if (MessageBox::ask(parent, text, buttons) == 0 && journal->restore(*s, tables, link.log()))
            restored = s->id;
    }
    journal->begin(tables, link, restored);
    return journal;
}

} // namespace JournalStartup
