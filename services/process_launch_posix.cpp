// Process launch with posix_spawn.  Mirrors the Windows launcher: a stream
// not redirected goes to /dev/null, a program that is not found is retried
// through /bin/sh, output files are appended to.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "services/process_launch.hpp"

extern char** environ;

namespace qor::process_launch {

namespace {

// Children started without waiting; reaped at the next launch once they end.
std::vector<pid_t> g_unwaited;

void reap_finished() {
    for (size_t i = 0; i < g_unwaited.size();) {
        if (waitpid(g_unwaited[i], nullptr, WNOHANG) != 0) g_unwaited.erase(g_unwaited.begin() + long(i));
        else i++;
    }
}

// Every descriptor this launch opened, closed on every way out.
struct Descriptors {
    std::vector<int> fds;
    int add(int fd) {
        if (fd >= 0) fds.push_back(fd);
        return fd;
    }
    void close_one(int& fd) {
        if (fd < 0) return;
        for (size_t i = 0; i < fds.size(); i++)
            if (fds[i] == fd) fds.erase(fds.begin() + long(i));
        ::close(fd);
        fd = -1;
    }
    ~Descriptors() {
        for (int fd : fds) ::close(fd);
    }
};

struct Pipe {
    int read = -1, write = -1;
};

bool make_pipe(Descriptors& d, Pipe& p) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    p.read = d.add(fds[0]);
    p.write = d.add(fds[1]);
    return true;
}

// Whether a program can be run, looked up along PATH as posix_spawnp would.
// Checked beforehand because a failed exec is not reported by every
// posix_spawn (a fork-based one only shows it as the child's exit status).
bool program_found(const std::string& name) {
    if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/bin:/usr/bin";
    for (size_t from = 0;;) {
        size_t to = dirs.find(':', from);
        std::string dir = dirs.substr(from, to == std::string::npos ? std::string::npos : to - from);
        std::string full = (dir.empty() ? std::string(".") : dir) + "/" + name;
        struct stat st {};
        if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0) return true;
        if (to == std::string::npos) return false;
        from = to + 1;
    }
}

int spawn(const std::vector<std::string>& args, posix_spawn_file_actions_t* actions, pid_t* pid) {
    if (args.empty() || !program_found(args[0])) return ENOENT;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return posix_spawnp(pid, argv[0], actions, nullptr, argv.data(), environ);
}

// Writes the input and reads both outputs as each becomes ready.
void pump(int in_fd, const std::string* input, int out_fd, std::string* output, int err_fd, std::string* error) {
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &old);   // a child that stops reading must not end us
    size_t written = 0;
    if (in_fd >= 0) fcntl(in_fd, F_SETFL, fcntl(in_fd, F_GETFL) | O_NONBLOCK);
    char chunk[65536];
    while (in_fd >= 0 || out_fd >= 0 || err_fd >= 0) {
        pollfd fds[3];
        int n = 0;
        if (in_fd >= 0) fds[n++] = {in_fd, POLLOUT, 0};
        if (out_fd >= 0) fds[n++] = {out_fd, POLLIN, 0};
        if (err_fd >= 0) fds[n++] = {err_fd, POLLIN, 0};
        if (poll(fds, nfds_t(n), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < n; i++) {
            if (!fds[i].revents) continue;
            int fd = fds[i].fd;
            if (fd == in_fd) {
                ssize_t w = written < input->size() ? ::write(fd, input->data() + written, input->size() - written) : 0;
                if (w > 0) written += size_t(w);
                if (written >= input->size() || (w < 0 && errno != EAGAIN && errno != EINTR)) {
                    ::close(in_fd);
                    in_fd = -1;
                }
            } else {
                ssize_t r = ::read(fd, chunk, sizeof chunk);
                if (r > 0) {
                    (fd == out_fd ? output : error)->append(chunk, size_t(r));
                } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
                    ::close(fd);
                    (fd == out_fd ? out_fd : err_fd) = -1;
                }
            }
        }
    }
    sigaction(SIGPIPE, &old, nullptr);
}

}  // namespace

std::string shell_text_to_utf8(const std::string& bytes) { return bytes; }

int32_t launch(const std::string& command, const Options& options, Stream* input, Stream* output, Stream* error,
               Flags* flags) {
    *flags = Flags{};
    reap_finished();
    Descriptors d;
    int null_device = d.add(open("/dev/null", O_RDWR | O_CLOEXEC));
    if (null_device < 0) return -1;

    // The child's three descriptors (-1: our own), and our ends of the pipes.
    int child[3] = {-1, -1, -1};
    Pipe pipes[3];
    Stream* streams[3] = {input, output, error};
    for (int k = 0; k < 3; k++) {
        Stream* s = streams[k];
        if (!s) {
            if (k > 0 && !options.console) child[k] = null_device;
            continue;
        }
        if (s->kind == Stream::FILE) {
            int fd = k == 0 ? open(s->file.c_str(), O_RDONLY | O_CLOEXEC)
                            : open(s->file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
            if (fd < 0) return -1;
            child[k] = d.add(fd);
        } else {
            if (!make_pipe(d, pipes[k])) return -1;
            child[k] = k == 0 ? pipes[k].read : pipes[k].write;
        }
    }
    bool wait = options.wait || options.console || input || output || error;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int k = 0; k < 3; k++)
        if (child[k] >= 0) posix_spawn_file_actions_adddup2(&actions, child[k], k);
    pid_t pid = 0;
    std::vector<std::string> sh = {"/bin/sh", "-c", command};
    int status = spawn(options.shell ? sh : split_command(command), &actions, &pid);
    if (status == ENOENT && !options.shell) {
        status = spawn(sh, &actions, &pid);
        flags->ran_through_shell = true;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (status != 0) return -1;

    // Our copies of the child's ends go, so the pipes end with the child.
    for (int k = 0; k < 3; k++) d.close_one(k == 0 ? pipes[k].read : pipes[k].write);
    if (input || output || error) {
        int in_fd = pipes[0].write, out_fd = pipes[1].read, err_fd = pipes[2].read;
        for (int* fd : {&pipes[0].write, &pipes[1].read, &pipes[2].read})   // pump closes them
            for (size_t i = 0; i < d.fds.size(); i++)
                if (d.fds[i] == *fd) d.fds.erase(d.fds.begin() + long(i));
        pump(in_fd, input ? &input->bytes : nullptr, out_fd, output ? &output->bytes : nullptr, err_fd,
             error ? &error->bytes : nullptr);
    }
    if ((options.shell || flags->ran_through_shell) && error && error->kind == Stream::BUFFER &&
        !error->bytes.empty())
        flags->shell_wrote_errors = true;
    if (!wait) {
        g_unwaited.push_back(pid);
        return int32_t(pid);
    }
    int code = 0;
    while (waitpid(pid, &code, 0) < 0)
        if (errno != EINTR) return -1;
    if (WIFEXITED(code)) return WEXITSTATUS(code);
    return WIFSIGNALED(code) ? 128 + WTERMSIG(code) : -1;
}

}  // namespace qor::process_launch
