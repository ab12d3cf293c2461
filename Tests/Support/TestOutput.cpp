#include "Support/TestOutput.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

namespace vi::test {

std::filesystem::path outputDirectory() {
    const char* configured = std::getenv("VI_TEST_OUTPUT");
    std::filesystem::path dir = configured != nullptr ? configured
                                                      : std::filesystem::temp_directory_path() / "vi-test-output";
    std::filesystem::create_directories(dir);
    return dir;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vi-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("could not create a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace vi::test
