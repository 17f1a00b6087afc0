#include "tests/support/temporary_folder.h"

#include "tests/support/child_process.h"
#include <cstdlib>
#include <filesystem>
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

TemporaryFolder::TemporaryFolder(const std::string& prefix) : m_path("/tmp/" + prefix + "XXXXXX")
{
    if (!::mkdtemp(m_path.data())) {
        m_path.clear();
    }
}

TemporaryFolder::~TemporaryFolder()
{
    if (m_path.empty()) {
        return;
    }
    // The document portal, which a portal call may start on a private bus, mounts a FUSE file system here.
    ChildProcess unmount({"fusermount3", "-u", "-z", m_path + "/doc"});
    static_cast<void>(pollUntil([&] { return !unmount.isRunning(); }, std::chrono::seconds(30)));
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}
