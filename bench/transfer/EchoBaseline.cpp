#include "bench/transfer/EchoBaseline.h"

#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

namespace quorlin::bench {

double BareEchoNanosPerChar(int characters) {
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return -1;
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);

    const pid_t echo = fork();
    if (echo == 0) {  // the controller: answer every character
        close(slave);
        char c;
        while (read(master, &c, 1) == 1)
            if (write(master, &c, 1) != 1) break;
        _exit(0);
    }
    close(master);
    const auto start = std::chrono::steady_clock::now();
    char c = 'A';
    for (int i = 0; i < characters; ++i) {
        if (write(slave, &c, 1) != 1 || read(slave, &c, 1) != 1) break;
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    close(slave);
    kill(echo, SIGKILL);
    waitpid(echo, nullptr, 0);
    return std::chrono::duration<double, std::nano>(elapsed).count() / characters;
}

}  // namespace quorlin::bench
