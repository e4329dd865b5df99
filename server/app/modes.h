#pragma once

class CommandLine;

// What the program does, by the mode of its command line. Each mode reports
// on standard output, says what went wrong on standard error and returns the
// exit code.
class Modes {
public:
    static int run(const CommandLine &commandLine);

private:
    static int serve(const CommandLine &commandLine);
    static int publish(const CommandLine &commandLine);
    static int keygen(const CommandLine &commandLine);
    static int addUser(const CommandLine &commandLine);
    static int backup(const CommandLine &commandLine);
};
