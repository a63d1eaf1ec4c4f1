#include "motion/control/mensilo_prop_page.h"

#include "motion/control/mensilo_server.h"
#include "motion/resources/string_table.h"
#include "platform/ui/dialog_units.h"

#include <QString>

namespace kv::motion {

namespace {
constexpr const char kPageText[] = "TODO: Place controls to manipulate properties of Mensilo Control on this dialog.";
}

CMensiloPropPage::CMensiloPropPage(QWidget* parent)
    : com::CPropertyPage(IDD, QString::fromLatin1(LoadString(IDS_PPG_CAPTION)), QString::fromLatin1(kPageText), parent),
      m_instance(MensiloServer().Usage())
{
    setFont(ui::DialogFont());
}

} // namespace kv::motion
