#include "platform/qt_alert.h"

#include <QMessageBox>
#include <QPushButton>

namespace platform {

namespace {

QMessageBox::Icon iconFor(AlertStyle style)
{
    switch (style) {
    case AlertStyle::Informational:
        return QMessageBox::Information;
    case AlertStyle::Critical:
        return QMessageBox::Critical;
    case AlertStyle::Warning:
        break;
    }
    return QMessageBox::Warning;
}

} // namespace

void QtAlerts::runModal(const Alert& alert)
{
    QMessageBox box(iconFor(alert.alertStyle), QString(), alert.messageText);
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(alert.informativeText);
    for (const QString& title : alert.buttons) {
        QPushButton* button = box.addButton(title, QMessageBox::AcceptRole);
        if (!box.defaultButton()) {
            box.setDefaultButton(button);
        }
    }
    box.exec();
}

} // namespace platform
