// The password dialog: asks for a user name and password and tries them against the
// camera before it closes. Three refusals close it as well; the caller reads the outcome.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kv::viewer {

class CPasswordDlg : public QDialog {
    Q_OBJECT
public:
    // One GET of the test URL with the credentials. False: the camera did not answer.
    using RequestFunction = std::function<bool(std::string& body, const std::string& url,
                                               const std::string& user, const std::string& password)>;

    static constexpr int IDD = 104;
    static constexpr int kMaxFailures = 3;
    static constexpr const char kUnauthorizedMarker[] = "<HTML><HEAD><TITLE>401 Unautho";
    static constexpr const char kAccessDenyMarker[] = "PT: Access Deny";

    // request defaults to a fresh one-shot HTTP request per try.
    CPasswordDlg(const QString& testUrl, int language, QWidget* parent = nullptr, RequestFunction request = {});
    ~CPasswordDlg() override;

    int DoModal() { return exec(); }

    // Outputs, valid after the dialog ended.
    QString m_sUser;
    QString m_sPassword;
    int m_nFailCount = 0;
    int m_bControlRight = 0;

    const QString& TestUrl() const { return m_sTestUrl; }
    int Language() const { return m_nLanguage; }

    QLineEdit* UserEdit() const { return m_userEdit; }
    QLineEdit* PasswordEdit() const { return m_passwordEdit; }
    QPushButton* OkButton() const { return m_okButton; }
    QPushButton* CancelButton() const { return m_cancelButton; }
    QLabel* Label(int controlId) const;

public slots:
    void OnOK();
    void OnCancel();

private:
    QString m_sTestUrl;
    int m_nLanguage;
    RequestFunction m_request;
    QLabel* m_prompt = nullptr;
    QLabel* m_mode = nullptr;
    QLabel* m_userLabel = nullptr;
    QLabel* m_passwordLabel = nullptr;
    QLineEdit* m_userEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};

} // namespace kv::viewer
