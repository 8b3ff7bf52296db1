// The program's pictures, drawn in code: button pictures of the main window and the two pictures
// of the message dialog.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace app {

enum class Picture {
    SelectFolder,
    Start,
    Stop,
    About,
    Help,
    Update,
    ViewLogs,
    Minimize,
    Close,
    Information, // message picture 1
    Question, // message picture 2
    Completed,
};

QPixmap picturePixmap(Picture picture, int size);
QIcon pictureIcon(Picture picture);

} // namespace app
