#include "viewer/widgets/password_dlg.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

#include "platform/ui/dialog_units.h"
#include "platform/ui/ui_helpers.h"
#include "stream/http_poster.h"
#include "viewer/resources/resources.h"
#include "viewer/resources/string_table.h"

namespace kv::viewer {

namespace {

bool DefaultRequest(std::string& body, const std::string& url, const std::string& user,
                    const std::string& password)
{
    kv::CHttpPoster poster;
    return poster.Request(body, url.c_str(), false, user, password);
}

QString Text(int language, int stringId, int controlId)
{
    return QString::fromUtf8(
        TextForLanguage(language, stringId, TemplateTextOf(dialog104::Texts(), controlId)));
}

} // namespace

CPasswordDlg::CPasswordDlg(const QString& testUrl, int language, QWidget* parent, RequestFunction request)
    : QDialog(parent), m_sTestUrl(testUrl), m_nLanguage(language),
      m_request(request ? std::move(request) : RequestFunction(DefaultRequest))
{
    using kv::ui::DluRect;
    setFont(kv::ui::DialogFont());
    setModal(true);
    setFixedSize(kv::ui::DluSize(205, 119));
    setWindowTitle(QString::fromUtf8(TextForLanguage(language, IDS_PASSWORD_CAPTION, dialog104::kCaption)));

    auto makeLabel = [this](int id, int stringId, QRect where) {
        auto* label = new QLabel(Text(m_nLanguage, stringId, id), this);
        kv::ui::SetControlId(label, id);
        // The template's 8-unit labels are as tall as its own font's lines; the installed
        // face may need a little more, and the lines below leave room for it.
        where.setHeight(std::max(where.height(), QFontMetrics(font()).height()));
        label->setGeometry(where);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    };
    m_prompt = makeLabel(226, IDS_PASSWORD_PROMPT, DluRect(8, 9, 190, 8));
    m_mode = makeLabel(230, IDS_REALM, DluRect(8, 26, 190, 8));
    m_userLabel = makeLabel(227, IDS_USER_NAME, DluRect(8, 47, 40, 8));
    m_passwordLabel = makeLabel(228, IDS_PASSWORD, DluRect(8, 70, 43, 8));

    m_userEdit = new QLineEdit(this);
    kv::ui::SetControlId(m_userEdit, 207);
    m_userEdit->setGeometry(DluRect(58, 44, 125, 14));
    m_passwordEdit = new QLineEdit(this);
    kv::ui::SetControlId(m_passwordEdit, 209);
    m_passwordEdit->setGeometry(DluRect(58, 67, 125, 14));
    m_passwordEdit->setEchoMode(QLineEdit::Password);

    m_okButton = new QPushButton(Text(language, IDS_OK, 1), this);
    kv::ui::SetControlId(m_okButton, 1);
    m_okButton->setGeometry(DluRect(47, 95, 50, 14));
    m_okButton->setDefault(true);
    m_okButton->setAutoDefault(true);
    m_cancelButton = new QPushButton(Text(language, IDS_CANCEL, 2), this);
    kv::ui::SetControlId(m_cancelButton, 2);
    m_cancelButton->setGeometry(DluRect(108, 95, 50, 14));
    // Return presses the focused button: on Cancel it cancels and sends nothing; elsewhere
    // it presses OK, the default.
    m_cancelButton->setAutoDefault(true);

    connect(m_okButton, &QPushButton::clicked, this, &CPasswordDlg::OnOK);
    connect(m_cancelButton, &QPushButton::clicked, this, &CPasswordDlg::OnCancel);
    setTabOrder(m_userEdit, m_passwordEdit);
    setTabOrder(m_passwordEdit, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);
    m_userEdit->setFocus();
}

CPasswordDlg::~CPasswordDlg() = default;

QLabel* CPasswordDlg::Label(int controlId) const
{
    for (QLabel* label : {m_prompt, m_mode, m_userLabel, m_passwordLabel})
        if (kv::ui::ControlId(label) == controlId)
            return label;
    return nullptr;
}

void CPasswordDlg::OnOK()
{
    m_sUser = m_userEdit->text();
    m_sPassword = m_passwordEdit->text();

    std::string body;
    kv::ui::CWaitCursor wait;
    const bool answered = m_request(body, m_sTestUrl.toStdString(), m_sUser.toStdString(), m_sPassword.toStdString());
    wait.Restore();

    if (!answered) {
        // No answer at all: say so and let the user try again.
        kv::ui::ShowMessageBox(this, LoadQString(IDS_CAN_NOT_CONNECT_DOT));
        return;
    }
    if (body.find(kUnauthorizedMarker) == std::string::npos) {
        m_bControlRight = body.find(kAccessDenyMarker) == std::string::npos ? 1 : 0;
        accept();
        return;
    }
    ++m_nFailCount;
    if (m_nFailCount < kMaxFailures) {
        m_passwordEdit->clear();
        m_userEdit->setFocus();
        return;
    }
    accept();
}

void CPasswordDlg::OnCancel() { reject(); }

} // namespace kv::viewer
