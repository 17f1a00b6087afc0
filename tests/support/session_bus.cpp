#include "tests/support/session_bus.h"

#include <fstream>

namespace {

constexpr const char* configuration =
    R"(<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  %SERVICES%
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

} // namespace

std::unique_ptr<SessionBus> SessionBus::start(Services services)
{
    auto result = std::make_unique<SessionBus>();
    const auto name = result->m_folder.path() + "/bus.conf";
    std::string text = configuration;
    text.replace(text.find("%SERVICES%"), 10, services == Services::Installed ? "<standard_session_servicedirs/>" : "");
    std::ofstream(name) << text;
    // It writes its address once it accepts clients, or ends and closes the pipe.
    result->m_daemon = std::make_unique<ChildProcess>(
        std::vector<std::string>{"dbus-daemon", "--config-file=" + name, "--print-address=1", "--nofork"},
        ChildProcess::Output::Piped);
    result->m_address = result->m_daemon->readLine();
    return result->m_address.empty() ? nullptr : std::move(result);
}
