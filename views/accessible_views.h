#pragma once

#include <QWidget>

/// Makes the history list readable by assistive technologies (AT-SPI on Linux): the rows' container is a
/// list, each row a list item named by what it shows, selected and focused while highlighted, pressable.
/// Must run before the views are first queried; running it again does nothing. GUI thread.
void installAccessibleViews();

/// The plain widget that holds the rows, presented to assistive technologies as a list.
class AccessibleList final : public QWidget
{
    Q_OBJECT

public:
    explicit AccessibleList(QWidget* parent = nullptr) : QWidget(parent) {}
};
