#pragma once

class QWidget;

/// Makes the history list readable by assistive technologies (AT-SPI on Linux): the rows' container is a
/// list, each row a list item named by what it shows, selected and focused while highlighted, pressable.
/// Must run before the views are first queried; running it again does nothing. GUI thread.
void installAccessibleViews();

/// Lets `rows`, the widget that holds the rows, present itself as a list.
void markAsAccessibleList(QWidget* rows);
