#pragma once

#include <fstream>
#include <string>

// Resident set size of this process in megabytes (0 where /proc is absent).
inline double ResidentMb()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            status >> kb;
            return kb / 1024.0;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}
