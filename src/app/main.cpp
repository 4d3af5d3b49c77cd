#include "link/comlink.h"
#include "mainwindow/formmain.h"
#include "settings/appicon.h"
#include "state/appstate.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarnolux"));
    QApplication::setOrganizationName(QStringLiteral("tarnolux"));
    QApplication::setWindowIcon(AppIcon::icon());

    AppState state;
    ComLink link(state);
    FormMain window(state, link);
    window.show();
    return QApplication::exec();
}
