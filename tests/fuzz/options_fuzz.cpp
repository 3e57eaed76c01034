// Fuzz target: argument vectors through the command-line reader.
//
// Input: the arguments after the program name, separated by zero bytes (at most MAX_ARGS). An
// argument that follows one starting "-F" or "-f" may be opened as the response file, so it is put
// inside a scratch folder with every ".." made "__": the files the reader creates stay there, and
// names with a folder that does not exist take the can't-open path.
//
// Checked: the reader prints nothing when it accepts, and one "Illegal parameter!!!" message when
// it refuses; the time-out stays in the 32-bit range; only the record's file is left open.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/options.h"

static const size_t MAX_ARGS = 32;
static const char ILLEGAL[] = "Illegal parameter!!!\n";

static void fault(const char* what, const std::string& output)
{
    fprintf(stderr, "options_fuzz: %s; output: %s\n", what, output.c_str());
    abort();
}

static char scratchDir[] = "/tmp/brevindor-options-fuzz-XXXXXX";

static void removeScratch()
{
    rmdir(scratchDir);   // every file was removed after its input
}

static std::string scratchFolder()
{
    if (mkdtemp(scratchDir) == nullptr) {
        fault("mkdtemp failed", strerror(errno));
    }
    (void)atexit(removeScratch);
    return scratchDir;
}

static std::string insideScratch(const std::string& scratch, std::string name)
{
    for (size_t at = name.find(".."); at != std::string::npos; at = name.find("..")) {
        name.replace(at, 2, "__");
    }
    return scratch + "/" + name;
}

static bool namesFile(const std::string& arg)
{
    return arg.size() >= 2 && arg[0] == '-' && (arg[1] == 'F' || arg[1] == 'f');
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string scratch = scratchFolder();

    std::vector<std::string> args = {"brevindor", ""};
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != 0) {
            args.back() += (char)data[i];
        } else if (args.size() <= MAX_ARGS) {
            args.emplace_back();
        } else {
            break;
        }
    }
    std::vector<std::string> files;
    for (size_t i = 2; i < args.size(); ++i) {
        if (namesFile(args[i - 1])) {
            args[i] = insideScratch(scratch, args[i]);
            files.push_back(args[i]);
        }
    }
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args) {
        argv.push_back(&a[0]);
    }
    argv.push_back(nullptr);

    char* text = nullptr;
    size_t textLen = 0;
    FILE* out = open_memstream(&text, &textLen);
    if (out == nullptr) {
        fault("open_memstream failed", "");
    }
    static RunState rs;
    initRunState(rs);
    bool ok = readOptions(rs, (int)args.size(), argv.data(), out);
    fclose(out);
    std::string output(text, textLen);
    free(text);

    if (ok && !output.empty()) {
        fault("accepted, yet printed", output);
    }
    if (!ok && output.compare(0, strlen(ILLEGAL), ILLEGAL) != 0) {
        fault("refused without the message", output);
    }
    if (rs.t.tv_sec > INT_MAX || rs.t.tv_sec < INT_MIN) {
        fault("time-out beyond 32 bits", output);
    }
    if (rs.fileOutput != (rs.file != nullptr)) {
        fault("file flag and file disagree", output);
    }
    if (rs.fileOutput) {
        fclose(rs.file);
    }
    for (const std::string& f : files) {
        unlink(f.c_str());
    }
    return 0;
}
