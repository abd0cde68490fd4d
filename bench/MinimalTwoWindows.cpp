// Tavix CallerID benchmarks: the floor for start-up and memory, two empty windows shown.
// Once the event loop runs with both shown it appends a line to the file named in argv[1].
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QWidget first;
    QWidget second;
    first.resize(264, 250);
    second.resize(789, 523);
    first.show();
    second.show();
    QTimer::singleShot(0, [marker = QString::fromLocal8Bit(argv[1])] {
        QFile file(marker);
        if (file.open(QIODevice::Append))
            file.write("shown\r\n");
    });
    return app.exec();
}
