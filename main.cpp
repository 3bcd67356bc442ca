#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The pictures sit in the static library: this call is what links them into the program.
    // They registered themselves at start-up already, so a second registration changes nothing.
    Q_INIT_RESOURCE(resources);
    MainWindow window;
    window.show();
    return app.exec();
}
