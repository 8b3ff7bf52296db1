#include "cli/password_prompt.h"

#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace cli {

namespace {

std::optional<std::string> g_scrubbed;

void overwrite(char *text)
{
    // The bytes stay where the process list reads them; only their content goes.
    std::memset(text, 'x', std::strlen(text));
}

} // namespace

std::optional<std::string> askHidden(const std::string &label)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) {
        return std::nullopt;
    }
    const std::string question = label + ": ";
    (void)!::write(tty, question.data(), question.size());
    termios saved {};
    const bool hide = ::tcgetattr(tty, &saved) == 0;
    if (hide) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    std::string answer;
    bool ended = false;
    for (;;) {
        char c = 0;
        const ssize_t got = ::read(tty, &c, 1);
        if (got <= 0) {
            ended = true;
            break;
        }
        if (c == '\n' || c == '\r') {
            break;
        }
        answer += c;
    }
    if (hide) {
        ::tcsetattr(tty, TCSAFLUSH, &saved);
    }
    ::close(tty);
    if (ended && answer.empty()) {
        return std::nullopt;
    }
    return answer;
}

std::optional<std::string> scrubPasswordArgument(
    int argc, char **argv, std::vector<std::string> &arguments)
{
    std::optional<std::string> password;
    constexpr std::string_view kOption = "--password";
    arguments.clear();
    for (int i = 0; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (i > 0 && argument.starts_with(std::string(kOption) + "=")) {
            password = std::string(argument.substr(kOption.size() + 1));
            overwrite(argv[i] + kOption.size() + 1);
            continue;
        }
        if (i > 0 && argument == kOption && i + 1 < argc && argv[i + 1][0] != '-') {
            password = std::string(argv[i + 1]);
            overwrite(argv[i + 1]);
            ++i;
            continue;
        }
        arguments.emplace_back(argument);
    }
    g_scrubbed = password;
    return password;
}

const std::optional<std::string> &scrubbedPassword() { return g_scrubbed; }

} // namespace cli
