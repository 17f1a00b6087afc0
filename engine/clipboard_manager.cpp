#include "engine/clipboard_manager.h"

#include "engine/preview_text.h"

#include <QThread>

#include <algorithm>
#include <cassert>
#include <chrono>
#include <optional>
#include <utility>

namespace {

constexpr auto listenerThreadName = "com.hollin.velmora.listener";
constexpr auto listenerInterval = std::chrono::milliseconds(500);

// QChar::isSpace() is exactly the Unicode white space and line breaks we trim: the separators
// (Zs, Zl, Zp), U+0009 to U+000D and U+0085. In place: a copy of a huge text would cost as much again.
QString trimmedText(QString text)
{
    return std::move(text).trimmed();
}

// What a copy offers that the history could hold: a picture, else a text that is not blank.
struct Copied
{
    std::optional<QString> text;
    std::shared_ptr<const platform::Image> image;
};

std::optional<Copied> readCopied(platform::Clipboard& clipboard)
{
    const auto images = clipboard.images();
    const auto isImage = [](const auto& image) { return image != nullptr; };
    if (images && !images->empty() && std::all_of(images->begin(), images->end(), isImage)) {
        return Copied{std::nullopt, images->front()};
    }
    auto text = clipboard.text();
    if (!text) {
        return std::nullopt;
    }
    auto trimmed = trimmedText(std::move(*text));
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    return Copied{std::move(trimmed), nullptr};
}

// Duplicates: canonically equivalent texts (a precomposed letter matches its decomposed form), pictures with
// the same TIFF.
bool haveSameContent(const ClipboardItem::Content& left, const ClipboardItem::Content& right)
{
    if (left.text && right.text) {
        return left.canonicalText == right.canonicalText;
    }
    if (left.image && right.image) {
        return haveSameTiffRepresentation(*left.image, left.imageSummary, *right.image, right.imageSummary);
    }
    return false;
}

// The very same text, or a picture in the very same bytes: one may stand for the other unseen.
bool areIdentical(const ClipboardItem::Content& content, const Copied& copied)
{
    if (content.text && copied.text) {
        return content.text == copied.text;
    }
    if (content.image && copied.image) {
        return content.image->encodedFormat() == copied.image->encodedFormat() &&
               content.image->encodedBytes() == copied.image->encodedBytes();
    }
    return false;
}

bool isOwnerOf(const std::weak_ptr<const ClipboardItem::Content>& weak,
               const std::shared_ptr<const ClipboardItem::Content>& content)
{
    return !weak.owner_before(content) && !content.owner_before(weak);
}

} // namespace

ClipboardManager::ClipboardManager(platform::Clipboard& clipboard, platform::EventLoop& eventLoop,
                                   std::size_t contentBudget)
    : m_contentBudget(contentBudget), m_clipboard(clipboard), m_eventLoop(eventLoop)
{}

std::shared_ptr<ClipboardManager> ClipboardManager::create(platform::Clipboard& clipboard,
                                                           platform::EventLoop& eventLoop,
                                                           platform::BackgroundTimers& timers,
                                                           std::size_t contentBudget)
{
    // The last holder may be a tick on the watcher thread: the store then goes on the GUI thread, which can
    // stop the watcher, and a QObject must die on its own thread.
    std::shared_ptr<ClipboardManager> manager(new ClipboardManager(clipboard, eventLoop, contentBudget),
                                              [](ClipboardManager* store) {
                                                  if (QThread::currentThread() == store->thread()) {
                                                      delete store;
                                                  } else {
                                                      store->m_eventLoop.post([store] { delete store; });
                                                  }
                                              });
    manager->m_lastChangeCount.store(clipboard.changeCount());
    manager->startOptimizedClipboardListener(timers);
    return manager;
}

ClipboardManager::~ClipboardManager()
{
    stopOptimizedClipboardListener();
}

int ClipboardManager::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_history.size());
}

QVariant ClipboardManager::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const auto& item = m_history[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return item.text() ? QVariant(*item.text()) : QVariant();
    case Qt::AccessibleTextRole:
        return item.text() ? previewText(*item.text()) : tr("Image");
    case SearchKeyRole:
        return item.text() ? QVariant(QByteArray::fromRawData(item.searchKey().data(),
                                                              static_cast<qsizetype>(item.searchKey().size())))
                           : QVariant();
    case IdRole:
        return item.id();
    case ThumbnailRole:
        return item.image() ? QVariant(item.content()->imageSummary.thumbnailSource) : QVariant();
    default:
        return {};
    }
}

void ClipboardManager::startOptimizedClipboardListener(platform::BackgroundTimers& timers)
{
    // Weak: neither the watcher nor the clipboard must keep the store alive.
    const auto tickIfAlive = [weakSelf = weak_from_this()] {
        if (const auto self = weakSelf.lock()) {
            self->tick();
        }
    };
    m_backgroundTimer = timers.start(QString::fromLatin1(listenerThreadName), listenerInterval, tickIfAlive);
    // Where the desktop tells of a copy at once, the capture follows at once; the timer stays the safety net.
    m_clipboard.setChangeHandler([weakSelf = weak_from_this()] {
        if (const auto self = weakSelf.lock(); self && self->m_backgroundTimer) {
            self->m_backgroundTimer->tickNow();
        }
    });
}

void ClipboardManager::stopOptimizedClipboardListener()
{
    m_clipboard.setChangeHandler(nullptr);
    // A tick reading from a slow owner ends at once rather than hold up the end of the program.
    m_clipboard.setReadsInterrupted(true);
    m_backgroundTimer.reset();
    m_clipboard.setReadsInterrupted(false);
}

platform::TimerStop ClipboardManager::stopOptimizedClipboardListener(std::chrono::milliseconds patience)
{
    m_clipboard.setChangeHandler(nullptr);
    m_clipboard.setReadsInterrupted(true);
    if (m_backgroundTimer && m_backgroundTimer->stop(patience) == platform::TimerStop::Abandoned) {
        // The abandoned tick may read still: the reads stay interrupted.
        m_backgroundTimer.reset();
        return platform::TimerStop::Abandoned;
    }
    stopOptimizedClipboardListener();
    return platform::TimerStop::Stopped;
}

void ClipboardManager::tick()
{
    const auto changeCount = m_clipboard.changeCount();
    // Any different count is a change, a smaller one too. copyItem() may record its own write meanwhile: that
    // count wins, and its content is not captured.
    auto last = lastChangeCount();
    if (changeCount == last || !m_lastChangeCount.compare_exchange_strong(last, changeCount)) {
        return;
    }
    // Read here, on the watcher's thread, so that a huge or slow copy never holds up the GUI thread; the
    // ticks run one at a time, so the entries keep the order of the copies.
    if (auto captured = readCapture()) {
        auto verdicts = compareWithCapturedContents(*captured);
        m_eventLoop.post(
            [self = shared_from_this(), captured = std::move(*captured), verdicts = std::move(verdicts)]() mutable {
                self->addToHistory(std::move(captured), verdicts);
            });
    }
}

std::optional<ClipboardItem> ClipboardManager::readCapture()
{
    auto copied = readCopied(m_clipboard);
    if (!copied) {
        return std::nullopt;
    }
    for (const auto& captured : m_capturedContents) {
        if (auto content = captured.lock(); content && areIdentical(*content, *copied)) {
            return ClipboardItem(std::move(content));
        }
    }
    return ClipboardItem(std::move(copied->text), std::move(copied->image));
}

ClipboardManager::ContentVerdicts ClipboardManager::compareWithCapturedContents(const ClipboardItem& candidate)
{
    ContentVerdicts verdicts;
    std::vector<std::weak_ptr<const ClipboardItem::Content>> alive;
    // Captures still on their way to the history are among them, so a repeat is found before they arrive.
    for (const auto& captured : m_capturedContents) {
        const auto content = captured.lock();
        if (content && content != candidate.content()) {
            alive.push_back(content);
            verdicts.emplace_back(content, haveSameContent(*content, *candidate.content()));
        }
    }
    alive.push_back(candidate.content());
    m_capturedContents = std::move(alive);
    return verdicts;
}

void ClipboardManager::setHistory(std::vector<ClipboardItem> history)
{
    beginResetModel();
    m_history = std::move(history);
    endResetModel();
}

void ClipboardManager::setSearchText(const QString& searchText)
{
    if (searchText == m_searchText) {
        return;
    }
    m_searchText = searchText;
    emit searchTextChanged(m_searchText);
}

void ClipboardManager::processNewClipboardItem()
{
    if (auto copied = readCopied(m_clipboard)) {
        addToHistory(ClipboardItem(std::move(copied->text), std::move(copied->image)));
    }
}

bool ClipboardManager::hasSameContent(const ClipboardItem& entry, const ClipboardItem& candidate,
                                      const ContentVerdicts& verdicts)
{
    if (entry.content() == candidate.content()) {
        return true;
    }
    // A content that did not come through the watcher, or no verdict: compared here.
    const auto verdict =
        std::ranges::find_if(verdicts, [&](const auto& pair) { return isOwnerOf(pair.first, entry.content()); });
    return verdict != verdicts.end() ? verdict->second : haveSameContent(*entry.content(), *candidate.content());
}

void ClipboardManager::addToHistory(ClipboardItem candidate, const ContentVerdicts& verdicts)
{
    const auto duplicate = std::find_if(m_history.begin(), m_history.end(), [&](const ClipboardItem& entry) {
        return hasSameContent(entry, candidate, verdicts);
    });
    if (duplicate != m_history.end()) {
        const auto row = static_cast<int>(duplicate - m_history.begin());
        beginRemoveRows({}, row, row);
        m_history.erase(duplicate);
        endRemoveRows();
    }
    beginInsertRows({}, 0, 0);
    m_history.insert(m_history.begin(), std::move(candidate));
    endInsertRows();
    dropOldestPastBounds();
}

void ClipboardManager::dropOldestPastBounds()
{
    // The newest entry stays even when it alone holds more than the budget: the last copy is never lost, and
    // the clipboard's read limit bounds it.
    std::size_t kept = 0;
    for (std::size_t bytes = 0; kept < m_history.size() && kept < static_cast<std::size_t>(maxHistory); ++kept) {
        bytes += m_history[kept].content()->byteSize();
        if (kept > 0 && bytes > m_contentBudget) {
            break;
        }
    }
    if (kept == m_history.size()) {
        return;
    }
    beginRemoveRows({}, static_cast<int>(kept), static_cast<int>(m_history.size()) - 1);
    m_history.erase(m_history.begin() + static_cast<std::ptrdiff_t>(kept), m_history.end());
    endRemoveRows();
}

void ClipboardManager::copyItem(const ClipboardItem& item)
{
    m_clipboard.clear();
    if (item.text()) {
        m_clipboard.setText(*item.text());
    } else if (item.image()) {
        m_clipboard.setImage(item.image());
    }
    m_lastChangeCount.store(m_clipboard.changeCount());
}

void ClipboardManager::copyItem(const QModelIndex& index)
{
    assert(checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) &&
           "an index of a listed row");
    copyItem(m_history[static_cast<std::size_t>(index.row())]);
}

void ClipboardManager::clearHistory()
{
    beginResetModel();
    m_history.clear();
    endResetModel();
}
