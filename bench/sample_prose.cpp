#include "bench/sample_prose.h"

#include <QRandomGenerator>

#include <iterator>

QString prose(qsizetype size, int seed)
{
    static const QString words[] = {"clipboard",        "history", "caf\u00e9", "na\u00efve",  "window", "entry",
                                    "r\u00e9sum\u00e9", "pointer", "panel",     "stra\u00dfe", "image",  "text"};
    QString text = QString::number(seed) + ": ";
    text.reserve(size + 16);
    QRandomGenerator random(static_cast<quint32>(seed));
    while (text.size() < size) {
        text += words[random.bounded(static_cast<int>(std::size(words)))];
        text += random.bounded(12) == 0 ? QChar('\n') : QChar(' ');
    }
    text.truncate(size);
    return text.trimmed();
}
