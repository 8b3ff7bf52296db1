#include "update/update_page.h"

#include "common/strings.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

namespace update {

UpdatePage::UpdatePage(CUpdatePropertySheet &sheet, const QString &heading)
    : m_sheet(sheet)
    , m_body(new QVBoxLayout)
{
    auto *layout = new QVBoxLayout(this);

    auto *banner = new QFrame(this);
    banner->setObjectName(QStringLiteral("banner"));
    banner->setAutoFillBackground(true);
    QPalette palette = banner->palette();
    palette.setColor(QPalette::Window, Qt::white);
    banner->setPalette(palette);
    auto *bannerLayout = new QVBoxLayout(banner);
    auto *title = new QLabel(QStringLiteral("Update Wizard"), banner);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    title->setFont(titleFont);
    bannerLayout->addWidget(title);
    bannerLayout->addWidget(new QLabel(QStringLiteral("Corvane Information Systems Ltd."), banner));
    layout->addWidget(banner);

    auto *headingLabel = new QLabel(heading, this);
    headingLabel->setObjectName(QStringLiteral("heading"));
    QFont headingFont = headingLabel->font();
    headingFont.setBold(true);
    headingLabel->setFont(headingFont);
    layout->addWidget(headingLabel);
    layout->addLayout(m_body);
    layout->addStretch(1);
}

QString UpdatePage::text(int id)
{
    const std::string_view value = common::text(id);
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

} // namespace update
