#include "state/appstate.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarnolux"));
    QApplication::setOrganizationName(QStringLiteral("tarnolux"));

    AppState state;
    // Placeholder until the main window exists.
    QWidget window;
    window.setWindowTitle(QStringLiteral("TARNOLUX"));
    window.resize(401, 593);
    window.show();
    return QApplication::exec();
}
