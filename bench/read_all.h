// A whole file into memory, for the benchmarks; empty when it cannot be read.
#pragma once

#include <cstdio>
#include <string>

inline std::string readAll(const std::string &path)
{
    std::string content;
    FILE *file = std::fopen(path.c_str(), "rb");
    char buffer[1 << 16];
    for (std::size_t n; file && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        content.append(buffer, n);
    if (file)
        std::fclose(file);
    return content;
}
