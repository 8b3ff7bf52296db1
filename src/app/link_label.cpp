#include "app/link_label.h"

#include <QMouseEvent>

namespace app {

LinkLabel::LinkLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    setCursor(Qt::PointingHandCursor);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    updateColour();
}

void LinkLabel::setVisited(bool visited)
{
    m_visited = visited;
    updateColour();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

void LinkLabel::updateColour()
{
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, m_visited ? QColor(128, 0, 128) : QColor(0, 0, 255));
    setPalette(colours);
}

} // namespace app
