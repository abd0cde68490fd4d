// Tavix CallerID: saves a PNG of the whole screen, or of one X window by id.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    WId window = 0;
    QString file;
    if (args.size() == 3 && args[0] == QLatin1String("--window")) {
        bool ok = false;
        window = static_cast<WId>(args[1].toULongLong(&ok, 0));
        if (!ok) {
            std::fprintf(stderr, "tavix-screenshot: not a window id: %s\n", qPrintable(args[1]));
            return 2;
        }
        file = args[2];
    } else if (args.size() == 1) {
        file = args[0];
    } else {
        std::fprintf(stderr, "usage: tavix-screenshot [--window ID] FILE.png\n");
        return 2;
    }
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window);
    if (shot.isNull() || !shot.save(file, "PNG")) {
        std::fprintf(stderr, "tavix-screenshot: cannot save %s\n", qPrintable(file));
        return 1;
    }
    return 0;
}
