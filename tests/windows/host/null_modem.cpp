// null-modem: two pseudo-terminals joined like two serial adapters with crossed lines, for the
// Windows tests under wine (each end is mapped to a COM port). Prints the two device paths,
// one a line, then relays bytes both ways until SIGTERM or SIGINT.
// A direction whose far side is full stops reading its near side, so a writer that nobody
// reads on the other end fills up and waits, as on a real line.
// Linux only: g++ -O2 -o null-modem null_modem.cpp -lutil
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <vector>

namespace {

volatile std::sig_atomic_t stop = 0;

void OnSignal(int) { stop = 1; }

struct End {
    int master = -1;
    int slave = -1;  // held open so the line never hangs up between the tests' opens
    char path[256] = {};
};

bool OpenEnd(End& end)
{
    if (openpty(&end.master, &end.slave, end.path, nullptr, nullptr) != 0)
        return false;
    termios t{};
    tcgetattr(end.slave, &t);
    cfmakeraw(&t);
    tcsetattr(end.slave, TCSANOW, &t);
    fcntl(end.master, F_SETFL, fcntl(end.master, F_GETFL) | O_NONBLOCK);
    return true;
}

// Bytes read from one master and not yet written to the other.
struct Direction {
    int from;
    int to;
    std::vector<unsigned char> pending;
};

}  // namespace

int main()
{
    End a, b;
    if (!OpenEnd(a) || !OpenEnd(b)) {
        std::perror("null-modem: openpty");
        return 1;
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    std::printf("%s\n%s\n", a.path, b.path);
    std::fflush(stdout);

    Direction dirs[2] = {{a.master, b.master, {}}, {b.master, a.master, {}}};
    while (!stop) {
        pollfd p[2] = {};
        for (int i = 0; i < 2; ++i) {
            p[i].fd = dirs[i].pending.empty() ? dirs[i].from : dirs[i].to;
            p[i].events = dirs[i].pending.empty() ? POLLIN : POLLOUT;
        }
        if (poll(p, 2, 200) < 0 && errno != EINTR)
            return 1;
        for (int i = 0; i < 2; ++i) {
            Direction& d = dirs[i];
            if (d.pending.empty() && (p[i].revents & POLLIN)) {
                unsigned char buf[4096];
                const ssize_t r = read(d.from, buf, sizeof buf);
                if (r > 0)
                    d.pending.assign(buf, buf + r);
            } else if (!d.pending.empty() && (p[i].revents & POLLOUT)) {
                const ssize_t w = write(d.to, d.pending.data(), d.pending.size());
                if (w > 0)
                    d.pending.erase(d.pending.begin(), d.pending.begin() + w);
            }
        }
    }
    return 0;
}
