#include "tests/support/temporary_folder.h"

#include "tests/support/child_process.h"
#include "tests/support/desktop_programs.h"

#include <cstdlib>
#include <filesystem>

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
    static_cast<void>(waitFor([&] { return !unmount.isRunning(); }, std::chrono::seconds(30)));
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}
