// A program that publishes and is then killed by the test: says "connected" once its status is online.
#include "publish/publisher.h"
#include "state/appstate.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    AppState state;
    Publisher publisher(state);
    PublishSettings s;
    s.enabled = true;
    s.host = QStringLiteral("127.0.0.1");
    s.port = QByteArray(argv[1]).toInt();
    s.prefix = QString::fromLocal8Bit(argv[2]);
    publisher.setLinkInfo(QStringLiteral("text"), QStringLiteral("/dev/ttyUSB0"));
    QObject::connect(&publisher, &Publisher::stateChanged, &app, [&publisher] {
        static bool told = false;
        if (!told && publisher.state().connected) {
            told = true;
            std::puts("connected");
            std::fflush(stdout);
        }
    });
    publisher.apply(s);
    return QCoreApplication::exec();
}
