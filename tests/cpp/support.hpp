// Shared by the C++ tests: the PDF fixtures written by tests/make_fixtures.py.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace quarvel::testing_support {

inline std::string fixture_path(const std::string& name) {
    const char* dir = std::getenv("QUARVEL_FIXTURE_DIR");
#ifdef QUARVEL_DEFAULT_FIXTURE_DIR
    if (!dir) dir = QUARVEL_DEFAULT_FIXTURE_DIR;
#endif
    if (!dir) throw std::runtime_error("QUARVEL_FIXTURE_DIR is not set; run the tests through ctest");
    return std::string(dir) + "/" + name + ".pdf";
}

inline std::string read_fixture(const std::string& name) {
    std::ifstream in(fixture_path(name), std::ios::binary);
    if (!in) throw std::runtime_error("missing fixture " + name + "; run the tests through ctest once");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace quarvel::testing_support
