#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace zef::test
{

inline void WriteFile(const std::string& name, const std::string& content)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

inline std::string ReadFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string DataFile(const std::string& name)
{
    const char* dir = std::getenv("TAVIK_TEST_DATA");
#ifdef BASE_TEST_DATA_DIR
    if (!dir || !*dir)
        dir = BASE_TEST_DATA_DIR;
#endif
    return std::string(dir ? dir : "data") + "/" + name;
}

} // namespace zef::test
