#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "envelopegraph.h"

#include <QColor>
#include <QFont>
#include <QLocale>
#include <QPen>
#include <QSharedPointer>

const QString appVersion = QStringLiteral("V 1.0.2");

namespace {

struct ChannelStyle {
    const char *name;
    QColor pen;
    QColor brush;
};

// Only the first channel has a pen of its own; the fills step from green to orange.
const ChannelStyle kChannels[] = {
    {"TSA1", QColor(100, 0, 255, 200), QColor(0, 160, 50, 150)},
    {"TSE", QColor(0, 0, 255, 200), QColor(63, 160, 50, 150)},
    {"TW", QColor(0, 0, 255, 200), QColor(127, 160, 50, 150)},
    {"TSV", QColor(0, 0, 255, 200), QColor(191, 160, 50, 150)},
    {"TAM", QColor(0, 0, 255, 200), QColor(255, 160, 50, 150)},
};

const QString kDateTimeFormat = QStringLiteral("dd.MM.yyyy\nhh:mm:ss");
const int kTickLabelPointSize = 8;
const double kTemperatureLower = -10;
const double kTemperatureUpper = 100;

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    connect(ui->action_ffnen, SIGNAL(triggered(bool)), this, SLOT(open()));

    setWindowTitle(QStringLiteral("Velkarn Oriq II  (") + appVersion + QStringLiteral(")"));
    setGeometry(QRect(400, 250, 542, 390));
    statusBar()->clearMessage();
    setupDateDemo(ui->customPlot);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::setupDateDemo(QCustomPlot *customPlot)
{
    QPen pen;
    customPlot->setLocale(QLocale(QLocale::English, QLocale::UnitedKingdom));
    mStartTime = 0.0;
    mEndTime = 0.0;

    for (const ChannelStyle &channel : kChannels) {
        // Our own graph class draws millions of points at the cost of the pixels they cover.
        QCPGraph *graph = new EnvelopeGraph(customPlot->xAxis, customPlot->yAxis);
        graph->setName(QString::fromLatin1(channel.name));
        pen.setColor(channel.pen);
        graph->setLineStyle(QCPGraph::lsLine);
        graph->setPen(pen);
        graph->setBrush(QBrush(channel.brush, Qt::SolidPattern));
    }

    QSharedPointer<QCPAxisTickerDateTime> dateTicker(new QCPAxisTickerDateTime);
    dateTicker->setDateTimeFormat(kDateTimeFormat);
    customPlot->xAxis->setTicker(dateTicker);

    const QFont tickFont(QFont().family(), kTickLabelPointSize);
    customPlot->xAxis->setTickLabelFont(tickFont);
    customPlot->yAxis->setTickLabelFont(tickFont);

    customPlot->xAxis->setLabel(QStringLiteral("Date"));
    customPlot->yAxis->setLabel(QStringLiteral("°C"));

    // Equal bounds are ignored by the axis: the time axis keeps its initial range until a load.
    customPlot->xAxis->setRange(mStartTime, mEndTime);
    customPlot->yAxis->setRange(kTemperatureLower, kTemperatureUpper);

    customPlot->legend->setVisible(true);
    customPlot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables);
}

void MainWindow::open()
{
}
