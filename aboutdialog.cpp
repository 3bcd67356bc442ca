// SPDX-License-Identifier: GPL-3.0-or-later
#include "aboutdialog.h"
#include "ui_aboutdialog.h"

#include <QFile>
#include <QMovie>
#include <QtDebug>

namespace {
const QString kLogoPath = QStringLiteral(":/images/images/logo_g.gif");
}

AboutDialog::AboutDialog(QWidget *parent, QString version)
    : QDialog(parent)
    , ui(new Ui::AboutDialog)
{
    ui->setupUi(this);
    connect(ui->pb_OK, SIGNAL(clicked()), this, SLOT(hide()));
    ui->labelVersion->setText(version);

    // A missing logo is only worth a debug line: the dialog is complete without it. The movie
    // is started once and never stopped, so hiding and showing the dialog keeps it running.
    if (!QFile::exists(kLogoPath)) {
        qDebug("*** Error - Resource path not found : \"%s\"", kLogoPath.toLatin1().constData());
        return;
    }
    auto *movie = new QMovie(kLogoPath, QByteArray(), this);
    ui->label->setMovie(movie);
    movie->start();
}

AboutDialog::~AboutDialog()
{
    delete ui;
}

