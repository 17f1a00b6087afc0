#include "views/accessible_views.h"

#include "views/clipboard_item_view.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {

/// A row as a list item. The keyboard focus never leaves the search field, so the row under the
/// selection reports itself focused for screen readers to follow.
class ClipboardItemViewAccessible final : public QAccessibleWidget
{
public:
    explicit ClipboardItemViewAccessible(ClipboardItemView* row) : QAccessibleWidget(row, QAccessible::ListItem) {}

    [[nodiscard]] QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Name) {
            return row()->accessibleText();
        }
        return QAccessibleWidget::text(type);
    }

    [[nodiscard]] QAccessible::State state() const override
    {
        auto state = QAccessibleWidget::state();
        state.selectable = true;
        state.focusable = true;
        state.selected = row()->isHovered();
        state.focused = row()->isHovered();
        return state;
    }

    [[nodiscard]] QStringList actionNames() const override { return QAccessibleWidget::actionNames() << pressAction(); }

    void doAction(const QString& name) override
    {
        if (name == pressAction()) {
            row()->click();
            return;
        }
        QAccessibleWidget::doAction(name);
    }

private:
    [[nodiscard]] ClipboardItemView* row() const { return static_cast<ClipboardItemView*>(widget()); }
};

QAccessibleInterface* accessibleView(const QString&, QObject* object)
{
    if (auto* row = qobject_cast<ClipboardItemView*>(object)) {
        return new ClipboardItemViewAccessible(row);
    }
    if (auto* list = qobject_cast<AccessibleList*>(object)) {
        return new QAccessibleWidget(list, QAccessible::List);
    }
    return nullptr;
}

} // namespace

void installAccessibleViews()
{
    static const bool isInstalled = [] {
        QAccessible::installFactory(accessibleView);
        return true;
    }();
    static_cast<void>(isInstalled);
}
