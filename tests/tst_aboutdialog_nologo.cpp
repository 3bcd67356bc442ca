// SPDX-License-Identifier: GPL-3.0-or-later
// The About dialog built with a collection that lacks the animated logo.
#include "aboutdialog.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {

struct Logged {
    QtMsgType type;
    QString message;
    QString file;
    QString function;
    QString category;
};

QList<Logged> logged;

void keepMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    logged << Logged{type, message, QString::fromUtf8(context.file),
                     QString::fromUtf8(context.function), QString::fromUtf8(context.category)};
}

} // namespace

class TestAboutDialogWithoutLogo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void collectionLacksOnlyTheAnimatedLogo();
    void oneDebugLinePerDialog();
    void dialogIsOtherwiseComplete();

private:
    QtMessageHandler mPrevious = nullptr;
};

void TestAboutDialogWithoutLogo::init()
{
    logged.clear();
    mPrevious = qInstallMessageHandler(keepMessage);
}

void TestAboutDialogWithoutLogo::cleanup()
{
    qInstallMessageHandler(mPrevious);
}

void TestAboutDialogWithoutLogo::collectionLacksOnlyTheAnimatedLogo()
{
    QVERIFY(QFile::exists(":/images/images/logo.jpg"));
    QVERIFY(QFile::exists(":/images/images/logo.gif"));
    QVERIFY(!QFile::exists(":/images/images/logo_g.gif"));
}

void TestAboutDialogWithoutLogo::oneDebugLinePerDialog()
{
    const QString expected =
        QStringLiteral("*** Error - Resource path not found : \":/images/images/logo_g.gif\"");
    for (int dialogs = 1; dialogs <= 2; ++dialogs) {
        AboutDialog dialog(nullptr, QStringLiteral("V 1.0.2"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.hide();
        dialog.show();
        QCOMPARE(logged.size(), dialogs);
    }
    for (const Logged &line : qAsConst(logged)) {
        QCOMPARE(line.type, QtDebugMsg);
        QCOMPARE(line.message, expected);
        QVERIFY2(line.file.endsWith("aboutdialog.cpp"), qPrintable(line.file));
        QVERIFY2(line.function.contains("AboutDialog::AboutDialog(QWidget*, QString)"),
                 qPrintable(line.function));
        QCOMPARE(line.category, QStringLiteral("default"));
    }
}

void TestAboutDialogWithoutLogo::dialogIsOtherwiseComplete()
{
    AboutDialog dialog(nullptr, QStringLiteral("V 1.0.2"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    auto *logo = dialog.findChild<QLabel *>("label");
    QVERIFY(logo);
    QVERIFY(!logo->movie());
    QVERIFY(logo->pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(logo->text().isEmpty());
    // Where the logo would be, the label shows nothing but its background.
    const QImage shown = logo->grab().toImage();
    const QRgb background = logo->palette().color(logo->backgroundRole()).rgb();
    for (int y = 0; y < shown.height(); y += 5)
        for (int x = 0; x < shown.width(); x += 5)
            QCOMPARE(shown.pixel(x, y), background);

    QCOMPARE(dialog.findChild<QLabel *>("labelVersion")->text(), QStringLiteral("V 1.0.2"));
    QCOMPARE(dialog.windowTitle(), QString::fromUtf8("\xC3\x9C" "ber"));
    QVERIFY(!dialog.windowIcon().isNull());
    QTest::mouseClick(dialog.findChild<QPushButton *>("pb_OK"), Qt::LeftButton);
    QVERIFY(dialog.isHidden());
}

QTEST_MAIN(TestAboutDialogWithoutLogo)
#include "tst_aboutdialog_nologo.moc"
