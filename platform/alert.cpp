#include "platform/alert.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace platform {

void QtAlerts::exec(const Alert& alert)
{
    QMessageBox box(QMessageBox::Information, QString(), alert.text);
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
    box.setDefaultButton(box.addButton(alert.button, QMessageBox::AcceptRole));
    box.exec();
}

} // namespace platform
