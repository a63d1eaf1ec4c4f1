// Answers the control's modal dialogs for unattended runs. A password dialog (a modal
// dialog with a user-name field and a password field) is filled in with the given
// credentials and confirmed; the control then runs its own exchange with the camera as if a
// person had typed them. Without credentials, an unattended run cancels it, as nobody is
// there to type. Message boxes of an unattended run are read out and closed.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QDialog;
class QWidget;

namespace kv::host {

class CDialogAnswerer : public QObject {
    Q_OBJECT
public:
    // note receives one line for each dialog answered.
    CDialogAnswerer(QString user, QString password, bool haveCredentials, bool unattended,
                    std::function<void(const QString&)> note, QObject* parent = nullptr);

    int PasswordDialogsAnswered() const { return m_answered; }

    // One look at the current modal widget; true when it was answered. Public so that tests
    // can drive it without the timer.
    bool AnswerActiveDialog();

    // Finds the user-name and password fields of a dialog; false when it is not such a
    // dialog.
    static bool IsPasswordDialog(QWidget* dialog);

private:
    QString m_user;
    QString m_password;
    bool m_haveCredentials;
    bool m_unattended;
    std::function<void(const QString&)> m_note;
    QTimer m_timer;
    int m_answered = 0;
};

} // namespace kv::host
