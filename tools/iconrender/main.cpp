// tarnolux-iconrender DIR SIZE...: writes DIR/<size>x<size>/apps/tarnolux.png for every size, drawn by the
// same code that gives the program's windows their icon. Painting into an image needs no application
// object and no display, which suits a build step.
#include "widgets/appicon.h"

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: tarnolux-iconrender DIR SIZE...\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    for (int i = 2; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "tarnolux-iconrender: not a size: %s\n", argv[i]);
            return 2;
        }
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString file = root.filePath(folder + QStringLiteral("/tarnolux.png"));
        if (!root.mkpath(folder) || !AppIcon::render(size).save(file, "PNG")) {
            std::fprintf(stderr, "tarnolux-iconrender: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
