// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/timerangedialog.h"
#include "chart/ui_timerangedialog.h"

#include <QPushButton>

#include <cmath>

namespace {

const int kDaysPerWeek = 7;

// Keys are seconds since the epoch; the fields keep milliseconds, so an untouched field gives
// back the bound it was given.
QDateTime localTime(double key)
{
    return QDateTime::fromMSecsSinceEpoch(std::llround(key * 1000), Qt::LocalTime);
}

double keyOf(const QDateTime &time)
{
    return time.toMSecsSinceEpoch() / 1000.0;
}

QDateTime midnight(const QDate &date)
{
    return QDateTime(date, QTime(0, 0), Qt::LocalTime);
}

} // namespace

TimeRangeDialog::TimeRangeDialog(const QCPRange &present, const QCPRange &whole, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::TimeRangeDialog)
{
    ui->setupUi(this);
    ui->buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    ui->buttons->button(QDialogButtonBox::Cancel)->setText(tr("Abbrechen"));
    connect(ui->buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ui->rangeFrom, &QDateTimeEdit::dateTimeChanged, this, &TimeRangeDialog::check);
    connect(ui->rangeTo, &QDateTimeEdit::dateTimeChanged, this, &TimeRangeDialog::check);
    connect(ui->rangeDay, &QPushButton::clicked, this, [this]() { fillDays(ui->rangeFrom->date(), 1); });
    connect(ui->rangeWeek, &QPushButton::clicked, this, [this]() {
        const QDate date = ui->rangeFrom->date();
        fillDays(date.addDays(1 - date.dayOfWeek()), kDaysPerWeek);
    });
    connect(ui->rangeMonth, &QPushButton::clicked, this, [this]() {
        const QDate date = ui->rangeFrom->date();
        const QDate first(date.year(), date.month(), 1);
        fill(midnight(first), midnight(first.addMonths(1)));
    });
    connect(ui->rangeAll, &QPushButton::clicked, this, [this, whole]() { fill(localTime(whole.lower), localTime(whole.upper)); });
    fill(localTime(present.lower), localTime(present.upper));
}

TimeRangeDialog::~TimeRangeDialog()
{
    delete ui;
}

bool TimeRangeDialog::changeTimeRange(QCustomPlot *plot, const QCPRange &whole, QWidget *parent)
{
    TimeRangeDialog dialog(plot->xAxis->range(), whole, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    plot->xAxis->setRange(dialog.range());
    plot->replot();
    return true;
}

QCPRange TimeRangeDialog::range() const
{
    return QCPRange(keyOf(ui->rangeFrom->dateTime()), keyOf(ui->rangeTo->dateTime()));
}

void TimeRangeDialog::fill(const QDateTime &from, const QDateTime &to)
{
    ui->rangeFrom->setDateTime(from);
    ui->rangeTo->setDateTime(to);
    check();
}

// From midnight of the first day to midnight after the last; a clock change makes it an hour
// shorter or longer.
void TimeRangeDialog::fillDays(const QDate &first, int days)
{
    fill(midnight(first), midnight(first.addDays(days)));
}

void TimeRangeDialog::check()
{
    const bool inOrder = ui->rangeTo->dateTime() > ui->rangeFrom->dateTime();
    ui->buttons->button(QDialogButtonBox::Ok)->setEnabled(inOrder);
    ui->rangeProblem->setText(inOrder ? QString() : tr("„Bis“ muss nach „Von“ liegen."));
    ui->rangeProblem->setVisible(!inOrder);
}
