/* Runs a command and prints what it cost its own process: user and system CPU seconds,
 * wall seconds and peak resident set in KiB, on one line of standard error:
 *   cpu_time: user=0.123456 sys=0.012345 wall=0.234567 maxrss_kb=12345 status=0
 * The command's standard output and error pass through. The rusage comes from wait4 on
 * the child alone, so a server the command talks to is not counted. */
#define _GNU_SOURCE
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double seconds(struct timeval t) { return (double)t.tv_sec + (double)t.tv_usec / 1e6; }

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: cpu_time COMMAND [ARGUMENTS...]\n");
        return 2;
    }
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t child = fork();
    if (child < 0) {
        perror("fork");
        return 2;
    }
    if (child == 0) {
        execvp(argv[1], argv + 1);
        fprintf(stderr, "cpu_time: cannot run %s: %s\n", argv[1], strerror(errno));
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            perror("wait4");
            return 2;
        }
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double wall = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    fprintf(stderr, "cpu_time: user=%.6f sys=%.6f wall=%.6f maxrss_kb=%ld status=%d\n",
            seconds(usage.ru_utime), seconds(usage.ru_stime), wall, usage.ru_maxrss, code);
    return code;
}
