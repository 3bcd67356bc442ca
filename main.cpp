#include "mainwindow.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    // Sharp and of the usual size on high-density screens; must precede the application object.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    // The pictures sit in the static library: this call is what links them into the program.
    // They registered themselves at start-up already, so a second registration changes nothing.
    Q_INIT_RESOURCE(resources);
    MainWindow window;
    window.show();
    // Qt has taken its own options out: what is left are log files, loaded once the window is up.
    const QStringList files = app.arguments().mid(1);
    if (!files.isEmpty())
        QTimer::singleShot(0, &window, [&window, files]() { window.loadLogFiles(files); });
    return app.exec();
}
