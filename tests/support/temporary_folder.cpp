#include "tests/support/temporary_folder.h"

#include <cstdlib>
#include <thread>

bool pollUntil(const std::function<bool()>& condition, std::chrono::seconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

TemporaryFolder::TemporaryFolder(const std::string& prefix)
    : m_folder(QString::fromStdString("/tmp/" + prefix + "XXXXXX")),
      m_path(m_folder.isValid() ? m_folder.path().toStdString() : std::string())
{}

TemporaryFolder::~TemporaryFolder()
{
    // The document portal, which a portal call may start on a private bus, mounts a FUSE file system here; lazily
    // unmounted, it lets the folder go at once.
    if (!m_path.empty()) {
        static_cast<void>(std::system(("fusermount3 -u -z " + m_path + "/doc 2>/dev/null").c_str()));
    }
}
