#include "platform/qt_alert.h"

#include <QLabel>
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
    // As on other desktops, an alert's texts can be selected and copied, with the mouse or after a Tab
    // to them; the message box itself makes only its main text selectable, and by mouse only.
    for (QLabel* label : box.findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) {
            label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
            label->setFocusPolicy(Qt::StrongFocus);
        }
    }
    for (const QString& title : alert.buttons) {
        QPushButton* button = box.addButton(title, QMessageBox::AcceptRole);
        if (!box.defaultButton()) {
            box.setDefaultButton(button);
        }
    }
    box.exec();
}

} // namespace platform
