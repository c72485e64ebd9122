#pragma once

// How many children of this process have ended without being reaped: a
// launcher must leave none behind.

#include <cstdio>
#include <fstream>
#include <string>

#include <dirent.h>
#include <unistd.h>

inline int Zombies()
{
    int zombies = 0;
    DIR *proc = opendir("/proc");
    if (!proc)
        return 0;
    while (dirent *e = readdir(proc)) {
        std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        int ppid = 0;
        std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid);
        zombies += ppid == ::getpid() && state == 'Z';
    }
    closedir(proc);
    return zombies;
}
