#include "platform/selection_clipboard.h"

#include "platform/clipboard_formats.h"

#include <algorithm>

#include <sys/eventfd.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// A capture reads the picture, then the text, of one copy within this time.
constexpr auto sessionLifetime = std::chrono::seconds(5);

bool contains(const std::vector<QByteArray>& forms, const char* form)
{
    return std::ranges::find(forms, QByteArray(form)) != forms.end();
}

} // namespace

std::unique_ptr<Clipboard> SelectionClipboard::create(const SourceFactory& makeSource)
{
    std::unique_ptr<SelectionClipboard> clipboard(new SelectionClipboard);
    clipboard->m_source = makeSource([raw = clipboard.get()] { raw->selectionChanged(); });
    return clipboard->m_source ? std::move(clipboard) : nullptr;
}

SelectionClipboard::SelectionClipboard() : m_stop(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

SelectionClipboard::~SelectionClipboard()
{
    // Its reporting thread, if any, ends before the members it reports into.
    m_source.reset();
}

void SelectionClipboard::setChangeHandler(std::function<void()> handler)
{
    const std::scoped_lock lock(m_changeHandlerMutex);
    m_changeHandler = std::move(handler);
}

void SelectionClipboard::selectionChanged()
{
    eventfd_write(m_stop.get(), 1);
    m_changeCount.fetch_add(1);
    const std::scoped_lock lock(m_changeHandlerMutex);
    if (m_changeHandler) {
        m_changeHandler();
    }
}

void SelectionClipboard::setReadsInterrupted(bool interrupted)
{
    m_readsInterrupted.store(interrupted);
    if (interrupted) {
        eventfd_write(m_stop.get(), 1);
    } else {
        eventfd_t value = 0;
        eventfd_read(m_stop.get(), &value);
    }
}

SelectionClipboard::ReadSession* SelectionClipboard::readSession()
{
    const auto now = Clock::now();
    const auto count = m_changeCount.load();
    if (!m_session || m_session->changeCount != count || now - m_session->started >= sessionLifetime) {
        eventfd_t value = 0;
        eventfd_read(m_stop.get(), &value);
        m_session = ReadSession{count, now, std::nullopt, m_readsInterrupted.load()};
        if (m_session->gaveUp) {
            return nullptr;
        }
        auto listed = m_source->forms(limits(*m_session));
        if (listed.outcome == ReadOutcome::Received) {
            // A password manager's copy: read nothing of it.
            m_session->gaveUp = contains(listed.value, passwordManagerHint);
            m_session->forms = std::move(listed.value);
        } else if (listed.outcome != ReadOutcome::Refused) {
            m_session->gaveUp = true;
            if (listed.outcome == ReadOutcome::Silent) {
                retryOnce(count);
            }
        }
    }
    return m_session->gaveUp ? nullptr : &*m_session;
}

std::optional<QByteArray> SelectionClipboard::read(ReadSession& session, const QByteArray& form)
{
    auto result = m_source->read(form, limits(session));
    switch (result.outcome) {
    case ReadOutcome::Received:
        return std::move(result.value);
    case ReadOutcome::Refused:
        return std::nullopt;
    case ReadOutcome::Silent:
        retryOnce(session.changeCount);
        break;
    case ReadOutcome::Failed:
        break;
    }
    session.gaveUp = true;
    return std::nullopt;
}

ReadLimits SelectionClipboard::limits(const ReadSession& session) const
{
    return {silenceLimit, session.started + readLimit, m_stop.get()};
}

std::int64_t SelectionClipboard::changeCount() const
{
    auto count = m_changeCount.load();
    // Only while the copy is still the one that was read: a newer one is read anyway.
    if (m_silentChangeCount.load() == count && m_changeCount.compare_exchange_strong(count, count + 1)) {
        m_retriedChangeCount.store(count + 1);
        return count + 1;
    }
    return count;
}

void SelectionClipboard::retryOnce(std::int64_t changeCount)
{
    if (changeCount != m_retriedChangeCount.load()) {
        m_silentChangeCount.store(changeCount);
    }
}

std::optional<OwnContent> SelectionClipboard::ownContent() const
{
    if (!m_source->ownsSelection()) {
        return std::nullopt;
    }
    const std::scoped_lock lock(m_ownContentMutex);
    return m_ownContent;
}

std::optional<Clipboard::Images> SelectionClipboard::images()
{
    if (const auto own = ownContent()) {
        return own->image ? std::optional(Images{own->image}) : std::nullopt;
    }
    auto* session = readSession();
    const auto form = session && session->forms ? chooseImageTarget(*session->forms) : std::nullopt;
    auto bytes = form ? read(*session, *form) : std::nullopt;
    if (!bytes) {
        return std::nullopt;
    }
    // Bytes that hold no picture give a null element: the offer was there, the picture was not.
    return std::vector{Image::fromEncoded(std::move(*bytes))};
}

std::optional<QString> SelectionClipboard::text()
{
    if (const auto own = ownContent()) {
        return own->text;
    }
    auto* session = readSession();
    for (const auto& form : textForms) {
        if (!session || session->gaveUp) {
            return std::nullopt;
        }
        if (session->forms && !contains(*session->forms, form.target)) {
            continue;
        }
        if (const auto bytes = read(*session, QByteArray(form.target))) {
            return decodeText(*bytes, form.encoding);
        }
    }
    return std::nullopt;
}

void SelectionClipboard::write(OwnContent content)
{
    {
        const std::scoped_lock lock(m_ownContentMutex);
        m_ownContent = content;
    }
    m_source->publish(content);
}

void SelectionClipboard::clear()
{
    write({});
    m_changeCount.fetch_add(1);
}

void SelectionClipboard::setText(const QString& text)
{
    write({text, nullptr});
}

void SelectionClipboard::setImage(std::shared_ptr<const Image> image)
{
    if (image) {
        write({std::nullopt, std::move(image)});
    }
}

} // namespace platform
