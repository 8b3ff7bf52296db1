// LinkLabel: an underlined text that acts like a web link: blue, purple while or once followed,
// a hand cursor over it.
#pragma once

#include <QLabel>

namespace app {

class LinkLabel : public QLabel
{
    Q_OBJECT
public:
    explicit LinkLabel(const QString &text, QWidget *parent = nullptr);

    // Purple while a link is being followed or after it has been; blue otherwise.
    void setVisited(bool visited);
    bool visited() const { return m_visited; }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void updateColour();

    bool m_visited = false;
};

} // namespace app
