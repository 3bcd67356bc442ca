// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/statisticsdialog.h"

#include "chart/chartreading.h"
#include "graph/minmaxsummary.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <qcustomplot.h>

namespace {

const int kNameColumn = 0;

// Kanal, Min, Zeit Min, Max, Zeit Max, Mittel of one graph's records [first, first + count).
QStringList channelRow(const QCustomPlot *plot, const QCPGraph *graph, const ChartReading::RecordSpan &span)
{
    if (span.count == 0) {
        const QString &none = ChartReading::kNoValue;
        return {graph->name(), none, none, none, none, none};
    }
    MinMaxSummary spare;
    const MinMaxSummary &summary = ChartReading::summaryOf(graph, spare);
    const QCPGraphData *points = &*graph->data()->constBegin();
    const int last = span.first + span.count;
    const QCPRange range = summary.valueRange(points, span.first, last);
    const int lowest = summary.firstReaching(points, span.first, last, range.lower, MinMaxSummary::End::Lowest);
    const int highest = summary.firstReaching(points, span.first, last, range.upper, MinMaxSummary::End::Highest);
    return {graph->name(),
            ChartReading::degreesText(range.lower),
            ChartReading::timeText(plot, points[lowest].key),
            ChartReading::degreesText(range.upper),
            ChartReading::timeText(plot, points[highest].key),
            ChartReading::degreesText(ChartReading::meanNumber(summary.valueSum(points, span.first, last), span.count))};
}

} // namespace

StatisticsDialog::StatisticsDialog(const QCustomPlot *plot, QWidget *parent)
    : QDialog(parent)
    , mLabel(new QLabel(this))
    , mTable(new QTableWidget(this))
{
    setWindowTitle(tr("Statistik"));
    setModal(true);
    mTable->setObjectName(QStringLiteral("statistics"));
    mTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mTable->verticalHeader()->hide();
    mTable->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *copy = buttons->addButton(tr("Kopieren"), QDialogButtonBox::ActionRole);
    buttons->addButton(tr("Schließen"), QDialogButtonBox::RejectRole);
    connect(copy, &QPushButton::clicked, this, [this]() { QApplication::clipboard()->setText(copiedText()); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(mLabel);
    layout->addWidget(mTable);
    layout->addWidget(buttons);
    fill(plot);
}

void StatisticsDialog::fill(const QCustomPlot *plot)
{
    const ChartReading::RecordSpan span = ChartReading::recordsInView(plot);
    if (span.count == 0) {
        mLabel->setText(tr("Keine Datensätze im Ausschnitt"));
    } else {
        const QSharedPointer<QCPGraphDataContainer> keys = plot->graph(0)->data();
        const QString records = span.count == 1 ? tr("1 Datensatz") : tr("%1 Datensätze").arg(span.count);
        mLabel->setText(tr("Von %1 bis %2, %3")
                            .arg(ChartReading::timeText(plot, keys->at(span.first)->key),
                                 ChartReading::timeText(plot, keys->at(span.first + span.count - 1)->key), records));
    }

    const QStringList header{tr("Kanal"), tr("Min"), tr("Zeit Min"), tr("Max"), tr("Zeit Max"), tr("Mittel")};
    mTable->setColumnCount(header.size());
    mTable->setHorizontalHeaderLabels(header);
    mTable->setRowCount(plot->graphCount());
    for (int row = 0; row < plot->graphCount(); ++row) {
        const QStringList cells = channelRow(plot, plot->graph(row), span);
        for (int column = 0; column < cells.size(); ++column) {
            auto *item = new QTableWidgetItem(cells[column]);
            if (column != kNameColumn)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            mTable->setItem(row, column, item);
        }
    }
    mTable->resizeColumnsToContents();
}

QString StatisticsDialog::copiedText() const
{
    QString text = mLabel->text() + QLatin1Char('\n');
    QStringList fields;
    for (int column = 0; column < mTable->columnCount(); ++column)
        fields.append(mTable->horizontalHeaderItem(column)->text());
    text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (int row = 0; row < mTable->rowCount(); ++row) {
        fields.clear();
        for (int column = 0; column < mTable->columnCount(); ++column)
            fields.append(mTable->item(row, column)->text());
        text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}
