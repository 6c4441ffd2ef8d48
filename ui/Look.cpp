#include "ui/Look.h"

#include "ui/QtText.h"

#include <QApplication>
#include <QFont>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace ui {

void ApplyLook(QApplication& application) {
    // The same look whatever the desktop's theme, since the layout is in pixels.
    if (QStyle* style = QStyleFactory::create("Fusion")) application.setStyle(style);
    QFont font("DejaVu Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    application.setFont(font);
    QPalette palette = application.style()->standardPalette();
    palette.setColor(QPalette::Window, ToQt(winsys::clBtnFace));
    palette.setColor(QPalette::Button, ToQt(winsys::clBtnFace));
    palette.setColor(QPalette::Base, ToQt(winsys::clWindow));
    application.setPalette(palette);
}

} // namespace ui
