// Tavix CallerID: writes the application icon's PNGs, run as: tavix_render_icons
// share/icons/hicolor
#include "ui/Artwork.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    // Drawing into images needs no screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavix_render_icons HICOLOR_FOLDER\n");
        return 2;
    }
    const QDir hicolor(QString::fromLocal8Bit(argv[1]));
    for (int size : Artwork::kIconSizes) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString file = hicolor.filePath(folder + QStringLiteral("/tavix-callerid.png"));
        if (!hicolor.mkpath(folder) || !Artwork::applicationIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "tavix_render_icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
