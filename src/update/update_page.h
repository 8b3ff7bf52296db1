// UpdatePage: one page of the update wizard, with the banner every page shows.
#pragma once

#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace update {

class CUpdatePropertySheet;

class UpdatePage : public QWidget
{
    Q_OBJECT
public:
    UpdatePage(CUpdatePropertySheet &sheet, const QString &heading);

    // Called each time the page becomes the current one, after the sheet has set the buttons
    // to their defaults (Back from the second page on, Next, no Finish).
    virtual void activate() = 0;
    // Called when the page is left or the wizard closes: stop timers, ignore late news.
    virtual void deactivate() { }

protected:
    CUpdatePropertySheet &sheet() { return m_sheet; }
    // Where the page adds its own controls, below the banner and heading.
    QVBoxLayout *body() { return m_body; }
    static QString text(int id);

private:
    CUpdatePropertySheet &m_sheet;
    QVBoxLayout *m_body;
};

} // namespace update
