#include "server/app/passwordprompt.h"

#include <QTextStream>

#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

// One line of standard input without its line end; nullopt at its end.
std::optional<QString> readLine()
{
    std::string line;
    if (!std::getline(std::cin, line))
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

std::optional<QString> readUnshown(const char *prompt)
{
    QTextStream(stderr) << prompt << Qt::flush;
    termios shown {};
    tcgetattr(STDIN_FILENO, &shown);
    termios unshown = shown;
    unshown.c_lflag &= ~tcflag_t(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &unshown);
    std::optional<QString> line = readLine();
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &shown);
    QTextStream(stderr) << '\n';
    return line;
}

} // namespace

std::optional<QString> PasswordPrompt::read(QString *problem)
{
    std::optional<QString> password;
    if (!isatty(STDIN_FILENO)) {
        password = readLine();
    } else if ((password = readUnshown("Password: "))
        && readUnshown("The same password again: ") != password) {
        *problem = QStringLiteral("the two passwords differ");
        return std::nullopt;
    }
    if (!password)
        *problem = QStringLiteral("no password on standard input");
    return password;
}
