#include "app/velmora_app.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    // Names the windows' class and titles "Velmora" whatever the executable is called.
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    // Velmora lives in the tray: hiding or closing its panel or its alert must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    VelmoraApp velmora;
    return velmora.run();
}
