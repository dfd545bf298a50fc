// Resident memory of this process, for benchmarks that show a flat footprint.
#pragma once

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

// Resident set size now, in KiB (0 when /proc is not readable).
inline long CurrentRssKb() {
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Highest resident set size so far, in KiB.
inline long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
