#include "update/update_start_page.h"

#include "update/update_property_sheet.h"

#include <QLabel>
#include <QVBoxLayout>

namespace update {

CUpdateStartPage::CUpdateStartPage(CUpdatePropertySheet &sheet)
    : UpdatePage(sheet, QStringLiteral("Welcome to the Corvane Lumaris Update Wizard"))
{
    auto *welcome = new QLabel(
        QStringLiteral("This wizard looks for a newer version of Corvane Lumaris Repair for "
                       "Zarafa on the update server, downloads it and starts it.\n\n"
                       "Click Next to look for updates."),
        this);
    welcome->setObjectName(QStringLiteral("welcomeText"));
    welcome->setWordWrap(true);
    body()->addWidget(welcome);
}

void CUpdateStartPage::activate() { sheet().setBackEnabled(false); }

} // namespace update
