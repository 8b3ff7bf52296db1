// CSaveComplete: the completion dialog that offers the Recovered Folder.
#pragma once

#include <QDialog>

namespace app {

class LinkLabel;

class CSaveComplete : public QDialog
{
    Q_OBJECT
public:
    explicit CSaveComplete(const QString &repairedPath, QWidget *parent = nullptr);

private:
    void openRepairedPath();

    QString m_repairedPath;
    LinkLabel *m_link = nullptr;
};

} // namespace app
