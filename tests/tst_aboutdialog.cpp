// SPDX-License-Identifier: GPL-3.0-or-later
// The About dialog on its own and as the main window's "Hilfe" > "Über".
#include "aboutdialog.h"
#include "mainwindow.h"
#include "ui_aboutdialog.h"

#include <QAction>
#include <QMovie>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString kUeber = QString::fromUtf8("\xC3\x9C" "ber");

struct Child {
    const char *name;
    QRect geometry;
};

const Child kChildren[] = {
    {"labelVersion", QRect(70, 100, 101, 16)}, {"labelAuthor", QRect(70, 150, 81, 16)},
    {"labelURL", QRect(70, 170, 91, 16)},      {"labelCreateDate", QRect(70, 190, 91, 16)},
    {"pb_OK", QRect(140, 270, 75, 23)},        {"label", QRect(180, 70, 131, 131)},
};

} // namespace

class TestAboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void formBuildsTheWidgetTreeInOrder();
    void formKeepsAnExistingObjectName();
    void labelsKeepTheirFormProperties();
    void versionLabelShowsTheArgumentAlone_data();
    void versionLabelShowsTheArgumentAlone();
    void ourTextsFitTheirLabels();
    void logoPlaysTheAnimatedPicture();
    void okAndEscapeHideIt();
    void showingAgainKeepsTheAnimationRunning();
    void resizingMovesNoChild();

    void mainWindowOwnsOneHiddenDialog();
    void ueberShowsTheSameDialogEachTime();
    void dialogDiesWithTheMainWindow_data();
    void dialogDiesWithTheMainWindow();
};

void TestAboutDialog::initTestCase()
{
    Q_INIT_RESOURCE(resources);
}

void TestAboutDialog::formBuildsTheWidgetTreeInOrder()
{
    QDialog dialog;
    Ui::AboutDialog form;
    form.setupUi(&dialog);

    QCOMPARE(dialog.objectName(), QStringLiteral("AboutDialog"));
    QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
    QVERIFY(dialog.isModal());
    QCOMPARE(dialog.size(), QSize(345, 297));
    QCOMPARE(dialog.windowTitle(), kUeber);
    QVERIFY(!dialog.windowIcon().isNull());
    QVERIFY(!dialog.layout());

    const QList<QWidget *> children = dialog.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(children.size(), int(std::size(kChildren)));
    for (int i = 0; i < children.size(); ++i) {
        QCOMPARE(children.at(i)->objectName(), QString::fromLatin1(kChildren[i].name));
        QCOMPARE(children.at(i)->geometry(), kChildren[i].geometry);
    }
    QCOMPARE(form.labelVersion->text(), QStringLiteral("Version: "));
    QCOMPARE(form.pb_OK->text(), QStringLiteral("OK"));
    QVERIFY(form.label->text().isEmpty());
    QVERIFY(!form.labelAuthor->text().isEmpty());
    QVERIFY(!form.labelURL->text().isEmpty());
    QVERIFY(!form.labelCreateDate->text().isEmpty());
}

void TestAboutDialog::formKeepsAnExistingObjectName()
{
    QDialog dialog;
    dialog.setObjectName("alreadyNamed");
    Ui::AboutDialog form;
    form.setupUi(&dialog);
    QCOMPARE(dialog.objectName(), QStringLiteral("alreadyNamed"));
}

void TestAboutDialog::labelsKeepTheirFormProperties()
{
    AboutDialog dialog(nullptr, appVersion);
    auto *url = dialog.findChild<QLabel *>("labelURL");
    QVERIFY(url);
    QCOMPARE(url->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(url->sizePolicy().verticalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(url->sizePolicy().horizontalStretch(), 0);
    QCOMPARE(url->sizePolicy().verticalStretch(), 0);
    QCOMPARE(url->frameShape(), QFrame::NoFrame);
    QVERIFY(!url->hasScaledContents());
    QVERIFY(!url->wordWrap());
    QVERIFY(url->openExternalLinks());
    QVERIFY(!url->text().contains('<')); // a bare address, no link markup

    auto *logo = dialog.findChild<QLabel *>("label");
    QVERIFY(logo);
    QVERIFY(logo->autoFillBackground());
    QCOMPARE(logo->frameShape(), QFrame::NoFrame);
    QVERIFY(!logo->hasScaledContents());

    for (auto *label : dialog.findChildren<QLabel *>())
        QVERIFY2(!label->wordWrap(), qPrintable(label->objectName()));
}

void TestAboutDialog::versionLabelShowsTheArgumentAlone_data()
{
    QTest::addColumn<QString>("version");
    QTest::newRow("program version") << appVersion;
    QTest::newRow("empty") << QString();
    QTest::newRow("umlaut") << QString::fromUtf8("V 2.0 \xC3\xA4");
}

void TestAboutDialog::versionLabelShowsTheArgumentAlone()
{
    QFETCH(QString, version);
    AboutDialog dialog(nullptr, version);
    QCOMPARE(dialog.findChild<QLabel *>("labelVersion")->text(), version);
    QCOMPARE(dialog.windowTitle(), kUeber);
    QCOMPARE(dialog.findChild<QPushButton *>("pb_OK")->text(), QStringLiteral("OK"));
}

void TestAboutDialog::ourTextsFitTheirLabels()
{
    // A desktop's default font; the offscreen platform alone would pick a 12-point one.
    const auto restoreFont = qScopeGuard([previous = QApplication::font()] {
        QApplication::setFont(previous);
    });
    QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9));
    AboutDialog dialog(nullptr, appVersion);
    for (const char *name : {"labelVersion", "labelAuthor", "labelURL", "labelCreateDate"}) {
        auto *label = dialog.findChild<QLabel *>(name);
        QVERIFY(label);
        const QFontMetrics metrics(label->font());
        QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->width(),
                 qPrintable(QStringLiteral("%1: %2 px for %3 px").arg(name)
                                .arg(metrics.horizontalAdvance(label->text())).arg(label->width())));
    }
}

void TestAboutDialog::logoPlaysTheAnimatedPicture()
{
    QPointer<QMovie> movie;
    {
        AboutDialog dialog(nullptr, appVersion);
        movie = dialog.findChild<QLabel *>("label")->movie();
        QVERIFY(movie);
        QCOMPARE(movie->fileName(), QStringLiteral(":/images/images/logo_g.gif"));
        QVERIFY(movie->isValid());
        QCOMPARE(movie->state(), QMovie::Running);
        QCOMPARE(movie->frameRect().size(), QSize(120, 120));
        QCOMPARE(movie->loopCount(), -1);

        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_VERIFY(movie->currentFrameNumber() > 0);
        // The picture is drawn: most of the label's pixels are no longer the dialog's background.
        const QImage logo = dialog.findChild<QLabel *>("label")->grab().toImage();
        const QRgb background = dialog.palette().color(QPalette::Window).rgb();
        int drawn = 0;
        for (int y = 0; y < logo.height(); ++y) {
            for (int x = 0; x < logo.width(); ++x)
                drawn += logo.pixel(x, y) != background;
        }
        QVERIFY2(drawn > 100 * 100, qPrintable(QString::number(drawn)));
    }
    // The dialog owns its movie: nothing is left behind when it goes.
    QVERIFY(movie.isNull());
}

void TestAboutDialog::okAndEscapeHideIt()
{
    AboutDialog dialog(nullptr, appVersion);
    QVERIFY(dialog.isHidden());

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(dialog.findChild<QPushButton *>("pb_OK"), Qt::LeftButton);
    QVERIFY(dialog.isHidden());

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isHidden());
}

void TestAboutDialog::showingAgainKeepsTheAnimationRunning()
{
    AboutDialog dialog(nullptr, appVersion);
    QMovie *movie = dialog.findChild<QLabel *>("label")->movie();
    QVERIFY(movie);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTRY_VERIFY(movie->currentFrameNumber() > 0);

    qRegisterMetaType<QMovie::MovieState>();
    QSignalSpy restarted(movie, &QMovie::started);
    QSignalSpy stateChanges(movie, &QMovie::stateChanged);
    QTest::mouseClick(dialog.findChild<QPushButton *>("pb_OK"), Qt::LeftButton);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(dialog.findChild<QPushButton *>("pb_OK"), Qt::LeftButton);
    dialog.show();

    QCOMPARE(restarted.count(), 0);
    QCOMPARE(stateChanges.count(), 0);
    QCOMPARE(movie->state(), QMovie::Running);
    QCOMPARE(dialog.findChild<QLabel *>("label")->movie(), movie);
}

void TestAboutDialog::resizingMovesNoChild()
{
    AboutDialog dialog(nullptr, appVersion);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (const QSize &size : {QSize(600, 500), QSize(200, 150)}) {
        dialog.resize(size);
        QCoreApplication::processEvents();
        for (const Child &child : kChildren)
            QCOMPARE(dialog.findChild<QWidget *>(child.name)->geometry(), child.geometry);
    }
}

void TestAboutDialog::mainWindowOwnsOneHiddenDialog()
{
    MainWindow window;
    const QList<AboutDialog *> dialogs = window.findChildren<AboutDialog *>();
    QCOMPARE(dialogs.size(), 1);
    QCOMPARE(dialogs.first()->parent(), &window);
    QVERIFY(dialogs.first()->isHidden());
    QCOMPARE(dialogs.first()->findChild<QLabel *>("labelVersion")->text(), QStringLiteral("V 1.0.2"));
    QVERIFY(!window.windowIcon().isNull());
}

void TestAboutDialog::ueberShowsTheSameDialogEachTime()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *ueber = window.findChild<QAction *>("action_ber");
    QVERIFY(ueber);
    AboutDialog *dialog = window.findChild<AboutDialog *>();

    ueber->trigger();
    QVERIFY(dialog->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    ueber->trigger();
    QVERIFY(dialog->isVisible());
    QCOMPARE(window.findChildren<AboutDialog *>().size(), 1);
    QCOMPARE(QApplication::activeModalWidget(), dialog);

    QTest::mouseClick(dialog->findChild<QPushButton *>("pb_OK"), Qt::LeftButton);
    QVERIFY(dialog->isHidden());
    ueber->trigger();
    QVERIFY(dialog->isVisible());
    QCOMPARE(window.findChild<AboutDialog *>(), dialog);
    QCOMPARE(dialog->findChild<QLabel *>("labelVersion")->text(), QStringLiteral("V 1.0.2"));
}

void TestAboutDialog::dialogDiesWithTheMainWindow_data()
{
    QTest::addColumn<bool>("shown");
    QTest::newRow("never shown") << false;
    QTest::newRow("shown") << true;
}

void TestAboutDialog::dialogDiesWithTheMainWindow()
{
    QFETCH(bool, shown);
    auto *window = new MainWindow;
    QPointer<AboutDialog> dialog = window->findChild<AboutDialog *>();
    QVERIFY(dialog);
    if (shown)
        window->findChild<QAction *>("action_ber")->trigger();
    QCOMPARE(dialog->isVisible(), shown);
    delete window;
    QVERIFY(dialog.isNull());
}

QTEST_MAIN(TestAboutDialog)
#include "tst_aboutdialog.moc"
