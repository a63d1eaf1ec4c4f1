#include "viewer/control/kavaro_prop_page.h"

#include "platform/ui/dialog_units.h"
#include "viewer/control/kavaro_server.h"
#include "viewer/resources/string_table.h"

#include <QString>

namespace kv::viewer {

CKavaroPropPage::CKavaroPropPage(QWidget* parent)
    : com::CPropertyPage(IDD, QString::fromLatin1(LoadString(IDS_PPG_CAPTION)),
                         QString::fromLatin1(TemplateTextOf(dialog225::Texts(), -1)), parent),
      m_instance(KavaroServer().Usage())
{
    setFont(ui::DialogFont());
}

} // namespace kv::viewer
