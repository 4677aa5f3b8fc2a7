#pragma once
// solvane-cli run as a program, its stdout and stderr caught in files.

#include <fcntl.h>
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
inline pid_t SpawnCli(const std::vector<std::string>& args, const std::string& outPath, const std::string& errPath,
                      const std::string& environment = "") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
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

inline CliRun RunCli(const std::vector<std::string>& args, const std::string& environment = "") {
    const TempFile out("stdout.txt");
    const TempFile err("stderr.txt");
    return FinishCli(SpawnCli(args, out.path(), err.path(), environment), out.path(), err.path());
}

}  // namespace solvane::test
