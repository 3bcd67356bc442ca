// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef OPENDIALOG_H
#define OPENDIALOG_H

// Chooses "Öffnen..." in a window and answers the modal file dialog it opens as a user would:
// typing the quoted names into its file-name field and pressing Return (selectFile does nothing
// while that field has focus), or pressing Escape.

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace OpenDialog {

// What the dialog showed, seen from the timer that answered it.
struct Answer {
    bool seen = false;
    bool stuck = false; // still up after its answer: rejected, so a test fails rather than hangs
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QWidget *parent = nullptr;
};

// Triggers the window's action of that name and answers the file dialog it opens.
inline Answer answerDialog(QWidget *window, const char *actionName, const std::function<void(QFileDialog *)> &answer)
{
    Answer result;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&]() {
        auto *modal = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!modal || !modal->isVisible())
            return;
        // After the answer, the file dialog or a message box of its own is still up.
        if (result.seen) {
            result.stuck = true;
            modal->reject();
            return;
        }
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return;
        result.seen = true;
        result.mode = dialog->fileMode();
        result.parent = dialog->parentWidget();
        // Answered from an event of its own: a message box the answer raises runs its own event
        // loop, and this timer must keep polling meanwhile.
        QTimer::singleShot(0, dialog, [&answer, dialog]() { answer(dialog); });
    });
    poll.start();
    if (auto *action = window->findChild<QAction *>(actionName))
        action->trigger();
    return result;
}

inline Answer answerOpen(QWidget *window, const std::function<void(QFileDialog *)> &answer)
{
    return answerDialog(window, "action_ffnen", answer);
}

inline Answer chooseFiles(QWidget *window, const QString &directory, const QStringList &names)
{
    return answerOpen(window, [&](QFileDialog *dialog) {
        dialog->setDirectory(directory);
        QStringList quoted;
        for (const QString &name : names)
            quoted.append('"' + name + '"');
        if (auto *edit = dialog->findChild<QLineEdit *>("fileNameEdit")) {
            edit->setText(quoted.join(' '));
            QTest::keyClick(edit, Qt::Key_Return);
        }
    });
}

inline Answer cancelOpen(QWidget *window)
{
    return answerOpen(window, [](QFileDialog *dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
}

} // namespace OpenDialog

#endif // OPENDIALOG_H
