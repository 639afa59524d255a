#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "serial/PortMap.h"
#include "tests/support/SerialTestSupport.h"

namespace quorlin::test {

PortsFolder::PortsFolder() : m_folder(std::make_unique<TemporaryFolder>("quorlin-ports")), m_path(m_folder->Path()) {
    if (const char* previous = ::getenv(kPortsFolderVariable)) {
        m_hadPrevious = true;
        m_previous = previous;
    }
    ::setenv(kPortsFolderVariable, m_path.c_str(), 1);
}

PortsFolder::~PortsFolder() {
    if (m_hadPrevious) ::setenv(kPortsFolderVariable, m_previous.c_str(), 1);
    else ::unsetenv(kPortsFolderVariable);
}

void PortsFolder::Link(unsigned port, const std::string& device) {
    const std::string link = m_path + "/COM" + std::to_string(port);
    std::error_code error;
    std::filesystem::remove(link, error);
    std::filesystem::create_symlink(device, link, error);
    if (error) ADD_FAILURE() << "cannot link " << link << ": " << error.message();
}

}  // namespace quorlin::test
