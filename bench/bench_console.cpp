// layer: app
// The client as a user meets it, the real binary in a directory of its own: a piped session of
// 200 unknown commands then "q" and "y" (wall time to the end), and an idle client with its
// input held open (CPU over TORNAVEL_IDLE_SECONDS, 30 by default).
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

struct Client {
    // Starts the binary in a fresh directory, its input a pipe and its output discarded.
    Client() {
        char t[] = "/tmp/tornavel-bench-XXXXXX";
        if (!mkdtemp(t)) return;
        dir = t;
        int in[2];
        if (pipe(in) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        char* argv[] = {const_cast<char*>(TORNAVEL_BINARY), nullptr};
        if (posix_spawn(&pid, TORNAVEL_BINARY, &actions, nullptr, argv, environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        input = in[1];
    }
    ~Client() {
        if (input >= 0) close(input);
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (!dir.empty()) {
            if (DIR* d = opendir(dir.c_str())) {
                while (dirent* e = readdir(d))
                    if (e->d_name[0] != '.') unlink((dir + "/" + e->d_name).c_str());
                closedir(d);
            }
            rmdir(dir.c_str());
        }
    }
    bool type(const std::string& text) {
        return write(input, text.data(), text.size()) == (ssize_t)text.size();
    }
    // Waits for the client to end; its exit status.
    int wait() {
        int status = -1;
        if (pid > 0 && waitpid(pid, &status, 0) == pid) pid = -1;
        return status;
    }
    // CPU of every thread of the client so far, in nanoseconds.
    int64_t cpuNs() {
        int64_t total = 0;
        std::string tasks = "/proc/" + std::to_string(pid) + "/task";
        if (DIR* d = opendir(tasks.c_str())) {
            while (dirent* e = readdir(d)) {
                if (e->d_name[0] == '.') continue;
                FILE* f = fopen((tasks + "/" + e->d_name + "/schedstat").c_str(), "r");
                long long ns = 0;
                if (f && fscanf(f, "%lld", &ns) == 1) total += ns;
                if (f) fclose(f);
            }
            closedir(d);
        }
        return total;
    }

    std::string dir;
    pid_t pid = -1;
    int input = -1;
};

void BM_PipedUnknownCommands(benchmark::State& state) {
    std::string session;
    for (int i = 0; i < 200; i++) session += "unknown" + std::to_string(i) + "\n";
    session += "q\ny\n";
    for (auto _ : state) {
        Client client;
        if (client.pid <= 0 || !client.type(session)) {
            state.SkipWithError("the client did not start");
            return;
        }
        int status = client.wait();
        if (!WIFEXITED(status)) state.SkipWithError("the client did not end by itself");
    }
}
BENCHMARK(BM_PipedUnknownCommands)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_IdleClientCpu(benchmark::State& state) {
    const char* env = getenv("TORNAVEL_IDLE_SECONDS");
    int seconds = env && atoi(env) > 0 ? atoi(env) : 30;
    for (auto _ : state) {
        Client client;
        if (client.pid <= 0) {
            state.SkipWithError("the client did not start");
            return;
        }
        sleep(2);  // past the start
        int64_t before = client.cpuNs();
        sleep((unsigned)seconds);
        int64_t cpu = client.cpuNs() - before;
        state.counters["cpu_percent"] = double(cpu) / (seconds * 1e9) * 100.0;
        state.counters["seconds"] = seconds;
        client.type("q\ny\n");
        client.wait();
    }
}
BENCHMARK(BM_IdleClientCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
