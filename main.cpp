// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/commandline.h"
#include "mainwindow.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    // Must precede the application object: the platform and the scaling are chosen there.
    CommandLine::prepare(argc, argv);
    QApplication app(argc, argv);
    // The pictures sit in the static library: this call is what links them into the program.
    // They registered themselves at start-up already, so a second registration changes nothing.
    Q_INIT_RESOURCE(resources);
    // Qt has taken its own options out: what is left are ours and log files.
    CommandLine commandLine(app.arguments());
    if (!commandLine.opensWindow())
        return commandLine.run();
    MainWindow window;
    window.show();
    const QStringList files = commandLine.logFiles();
    if (!files.isEmpty())
        QTimer::singleShot(0, &window, [&window, files]() { window.loadLogFiles(files); });
    return app.exec();
}
