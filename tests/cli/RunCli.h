#pragma once
// solvane-cli run as a program, its stdout and stderr caught in files.

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "tests/support/SmfBuilder.h"

extern char** environ;

namespace solvane::test {

struct CliRun {
    int status = -1;  // the exit status; -1 when the program did not exit by itself
    std::string out;
    std::string err;
};

inline std::string ReadText(const std::string& path) {
    const Bytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Starts solvane-cli with stdout and stderr going to the two files; FinishCli waits for it.
// environment changes one variable of this process's: "NAME=value", or "-u NAME" to leave it out.
// inPath, when given, is its standard input.
inline pid_t SpawnCli(const std::vector<std::string>& args, const std::string& outPath, const std::string& errPath,
                      const std::string& environment = "", const std::string& inPath = "") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!inPath.empty()) posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> all{SOLVANE_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const bool unset = environment.rfind("-u ", 0) == 0;
    const std::string name = unset ? environment.substr(3) : environment.substr(0, environment.find('='));
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e) {
        if (name.empty() || std::string(*e).rfind(name + "=", 0) != 0) envp.push_back(*e);
    }
    std::string assignment = environment;
    if (!unset && !environment.empty()) envp.push_back(assignment.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, SOLVANE_CLI, &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

inline CliRun FinishCli(pid_t pid, const std::string& outPath, const std::string& errPath) {
    int raw = 0;
    if (pid <= 0 || waitpid(pid, &raw, 0) != pid) return {};
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(outPath), ReadText(errPath)};
}

// What solvane-cli prints on stderr for reports about file, one line each
// ("Module 0xCODE: text" given without the program's name and the file's).
inline std::string Reported(const std::string& file, const std::vector<std::string>& reports) {
    std::string lines;
    for (const std::string& report : reports) lines += "solvane-cli: " + file + ": " + report + "\n";
    return lines;
}

inline CliRun RunCli(const std::vector<std::string>& args, const std::string& environment = "",
                     const std::string& inPath = "") {
    const TempFile out("stdout.txt");
    const TempFile err("stderr.txt");
    return FinishCli(SpawnCli(args, out.path(), err.path(), environment, inPath), out.path(), err.path());
}

// solvane-cli with stdout (fd 1) or stderr (fd 2) on a terminal: what the
// terminal was sent comes back as out or err (the terminal turns each newline
// into a carriage return and a newline); the other stream is not kept.
inline CliRun RunCliOnTerminal(const std::vector<std::string>& args, int fd) {
    int terminal = -1;
    int side = -1;
    if (openpty(&terminal, &side, nullptr, nullptr, nullptr) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, side, fd);
    posix_spawn_file_actions_addopen(&actions, 3 - fd, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, terminal);
    std::vector<std::string> all{SOLVANE_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const bool started = posix_spawn(&pid, SOLVANE_CLI, &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(side);
    std::string shown;
    char buffer[4096];
    // Ends with an error once the program has gone and the terminal has nobody on its other side.
    for (ssize_t n; started && (n = read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<std::size_t>(n));
    close(terminal);
    int raw = 0;
    if (!started || waitpid(pid, &raw, 0) != pid) return {};
    CliRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, "", ""};
    (fd == 1 ? run.out : run.err) = shown;
    return run;
}

}  // namespace solvane::test
