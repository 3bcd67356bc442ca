#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QMainWindow>
#include <QString>

class QCustomPlot;

namespace Ui {
class MainWindow;
}

extern const QString appVersion;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void setupDateDemo(QCustomPlot *customPlot);
    void open();

private:
    Ui::MainWindow *ui;
    double mStartTime;
    double mEndTime;
};

#endif // MAINWINDOW_H
