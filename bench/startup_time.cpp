// Exec-to-exit time and peak memory of whole programs, for bench/speed.sh:
//   startup_time RUNS COMMAND [-- COMMAND ...]
// where a COMMAND is [NAME=VALUE ...] PROGRAM [ARGUMENTS ...], the
// assignments set in the program's environment only. The commands run in
// turn, RUNS rounds of them, so a busy machine slows each alike. Each
// program's output goes to /dev/null; a run that fails stops everything.
// One line per command, in the order given:
//   <median s> <min s> <max s> <median peak resident MiB>
// The time runs from fork to the reaped exit; the peak is the child's
// ru_maxrss from wait4.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct Command {
    std::vector<char*> env;   // NAME=VALUE words
    std::vector<char*> argv;  // program and arguments, null-terminated
    std::vector<double> seconds, mib;
};

static double _median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// One run; false when the program could not start or did not exit with 0.
static bool _run(Command& c) {
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        for (char* kv : c.env) putenv(kv);
        execvp(c.argv[0], c.argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage ru;
    if (wait4(pid, &status, 0, &ru) != pid) return false;
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    c.seconds.push_back(s);
    c.mib.push_back(ru.ru_maxrss / 1024.0);
    return true;
}

int main(int argc, char** argv) {
    int runs = argc > 1 ? atoi(argv[1]) : 0;
    std::vector<Command> commands(1);
    for (int i = 2; i < argc; i++) {
        Command& c = commands.back();
        if (!strcmp(argv[i], "--"))
            commands.emplace_back();
        else if (c.argv.empty() && strchr(argv[i], '=') && argv[i][0] != '=')
            c.env.push_back(argv[i]);
        else
            c.argv.push_back(argv[i]);
    }
    bool usable = runs > 0;
    for (Command& c : commands) {
        usable = usable && !c.argv.empty();
        c.argv.push_back(nullptr);
    }
    if (!usable) {
        fprintf(stderr, "usage: startup_time RUNS [NAME=VALUE ...] PROGRAM [ARGS ...] [-- ...]\n");
        return 2;
    }
    for (int r = 0; r < runs; r++)
        for (Command& c : commands)
            if (!_run(c)) {
                fprintf(stderr, "startup_time: %s did not start or failed\n", c.argv[0]);
                return 1;
            }
    for (const Command& c : commands)
        printf("%.4f %.4f %.4f %.1f\n", _median(c.seconds), *std::min_element(c.seconds.begin(), c.seconds.end()),
               *std::max_element(c.seconds.begin(), c.seconds.end()), _median(c.mib));
    return 0;
}
