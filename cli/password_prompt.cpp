// The no-echo password prompt, which gives the terminal back as it was on every way out.
#include "cli/password_prompt.h"
#include "cli/messages.h"
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <termios.h>
#include <unistd.h>

namespace cli {

namespace {

// The terminal's settings while the password is typed without echo; restored on every way out, an
// interrupt included.
termios g_savedTerminal{};
volatile std::sig_atomic_t g_echoHidden = 0;

void restoreEchoAndDie(int signal) {
    if (g_echoHidden)
        tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

std::string readPassword(const std::string& database) {
    if (const char* fromEnvironment = std::getenv("ROWSIFTER_PASSWORD"))
        return fromEnvironment;
    if (!isatty(STDIN_FILENO))
        return {};
    std::cerr << text::passwordPrompt(database) << std::flush;
    const bool canHide = tcgetattr(STDIN_FILENO, &g_savedTerminal) == 0;
    using Handler = void (*)(int);
    Handler previousInt = SIG_DFL, previousTerm = SIG_DFL;
    if (canHide) {
        previousInt = std::signal(SIGINT, restoreEchoAndDie);
        previousTerm = std::signal(SIGTERM, restoreEchoAndDie);
        termios hidden = g_savedTerminal;
        hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        // TCSANOW, not TCSAFLUSH: what was typed before the prompt appeared is part of the password.
        tcsetattr(STDIN_FILENO, TCSANOW, &hidden);
        g_echoHidden = 1;
    }
    std::string password;
    std::getline(std::cin, password);
    if (canHide) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
        g_echoHidden = 0;
        std::signal(SIGINT, previousInt);
        std::signal(SIGTERM, previousTerm);
    }
    std::cerr << '\n';
    return password;
}

} // namespace cli
