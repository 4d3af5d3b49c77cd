#include "analysiswindow/analysiswindow.h"
#include "journal/journal.h"
#include "link/link.h"
#include "mainwindow/formmain.h"
#include "mainwindow/journalstartup.h"
#include "platform/terminationsignals.h"
#include "publish/publisher.h"
#include "state/appstate.h"
#include "tables/tables.h"
#include "widgets/appicon.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarnolux"));
    QApplication::setOrganizationName(QStringLiteral("tarnolux"));
    // Desktops match the window to the installed desktop entry by this name.
    QApplication::setDesktopFileName(QStringLiteral("example.tarnolux.tarnolux"));
    QApplication::setWindowIcon(AppIcon::icon());

    AppState state;
    Link link(state);
    Tables tables(state);
    tables.follow(link);
    // Outlives the window, whose "Publishing (MQTT)" shows it.
    Publisher publisher(state);
    publisher.follow(link, tables);
    publisher.apply(PublishSettings::load());
    FormMain window(state, link, tables);
    window.setPublisher(&publisher);
    window.show();
    const std::unique_ptr<Journal> journal =
        JournalStartup::start(&window, state, tables, link, Journal::defaultFolder());
    window.analysis().setStatus(journal->problem());
    QObject::connect(journal.get(), &Journal::failed, &window.analysis(), &AnalysisWindow::setStatus);
    // Logging out, Ctrl+C in a terminal or kill close the window as the operator would, so the settings
    // are kept.
    (void)TerminationSignals::install(&app, [] {
        QApplication::closeAllWindows();
        QCoreApplication::exit(0);
    });
    const int code = QApplication::exec();
    journal->end();
    return code;
}
