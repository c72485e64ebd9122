/* The program a benchmark's link starts: it writes the CLOCK_MONOTONIC time at which it began
 * running, in nanoseconds, to the file "exec-stamp" in its working folder. Linked statically, so
 * that what it adds to the measured time is little more than the exec itself. */
#include <stdio.h>
#include <time.h>

int main(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    FILE *f = fopen("exec-stamp.part", "w");
    if (!f)
        return 1;
    fprintf(f, "%lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
    if (fclose(f) != 0)
        return 1;
    return rename("exec-stamp.part", "exec-stamp") == 0 ? 0 : 1;
}
