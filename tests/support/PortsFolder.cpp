#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "serial/PortMap.h"
#include "tests/support/SerialTestSupport.h"

namespace quorlin::test {

PortsFolder::PortsFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorlin-ports-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        ADD_FAILURE() << "cannot make a temporary ports folder";
        return;
    }
    m_path = pattern;
    if (const char* previous = ::getenv(kPortsFolderVariable)) {
        m_hadPrevious = true;
        m_previous = previous;
    }
    ::setenv(kPortsFolderVariable, m_path.c_str(), 1);
}

PortsFolder::~PortsFolder() {
    if (m_hadPrevious) ::setenv(kPortsFolderVariable, m_previous.c_str(), 1);
    else ::unsetenv(kPortsFolderVariable);
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
}

void PortsFolder::Link(unsigned port, const std::string& device) {
    const std::string link = m_path + "/COM" + std::to_string(port);
    std::error_code error;
    std::filesystem::remove(link, error);
    std::filesystem::create_symlink(device, link, error);
    if (error) ADD_FAILURE() << "cannot link " << link << ": " << error.message();
}

}  // namespace quorlin::test
