#pragma once

#include <QString>

#include <optional>

// Reads a new password from standard input: at a terminal typed twice and
// not shown, otherwise one line. Nothing is trimmed but the line end.
class PasswordPrompt {
public:
    // nullopt with *problem when there is none or the two differ.
    static std::optional<QString> read(QString *problem);
};
