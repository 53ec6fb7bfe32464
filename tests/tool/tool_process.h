// Test helper: runs the tovrin-sql program with arguments, an optional standard input
// and extra environment variables, and collects its exit code, standard output and
// standard error (through files, so that neither pipe can fill up).
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace tooltest {

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

/// Texts as a null-ended array of C strings, for exec's argv and envp; the texts live as
/// long as this object.
class CStringArray {
public:
    explicit CStringArray(std::vector<std::string> texts) : m_texts(std::move(texts)) {
        for (std::string& text : m_texts)
            m_pointers.push_back(text.data());
        m_pointers.push_back(nullptr);
    }
    CStringArray(const CStringArray&) = delete;
    CStringArray& operator=(const CStringArray&) = delete;

    [[nodiscard]] char* const* data() const noexcept { return m_pointers.data(); }

private:
    std::vector<std::string> m_texts;
    std::vector<char*> m_pointers;
};

/// tovrin-sql's argv: the program's path, then `args`.
inline CStringArray toolArguments(const std::vector<std::string>& args) {
    std::vector<std::string> texts = {TOVRIN_SQL_PATH};
    texts.insert(texts.end(), args.begin(), args.end());
    return CStringArray(std::move(texts));
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

/// Runs tovrin-sql with `args` in `dir` (a scratch directory), `input` as its standard
/// input, and `environment` added to (or, with an empty value, removed from) the
/// current environment.
inline ToolRun runTool(const std::string& dir, const std::vector<std::string>& args,
                       const std::string& input = "",
                       const std::vector<std::pair<std::string, std::string>>& environment = {}) {
    const std::string inPath = dir + "/stdin.txt";
    const std::string outPath = dir + "/stdout.txt";
    const std::string errPath = dir + "/stderr.txt";
    writeFile(inPath, input);

    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        bool replaced = false;
        for (const auto& [name, value] : environment)
            replaced = replaced || entry.rfind(name + "=", 0) == 0;
        if (!replaced)
            env.push_back(entry);
    }
    for (const auto& [name, value] : environment)
        if (!value.empty())
            env.push_back(name + "=" + value);

    const CStringArray argv = toolArguments(args);
    const CStringArray envp(std::move(env));

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A new session: the program has no controlling terminal, as under CI, so that it
    // never prompts on the developer's terminal.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int rc =
        posix_spawn(&pid, argv.data()[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0)
        throw std::runtime_error(std::string("cannot start ") + TOVRIN_SQL_PATH);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    return run;
}

} // namespace tooltest
