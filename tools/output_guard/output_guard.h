// How every tool writes a file: whole, under a temporary name beside its
// place, moved there only over nothing or a file of its own kind (a regular
// file over a regular file, a folder over a folder). A device, FIFO, symbolic
// link or anything else at the path is refused and left as it is, so is an
// output that is one of the tool's inputs, and a write that fails leaves
// the old file at the path as it was.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

// Why `path` cannot take an output, as "PATH is a FIFO; ..." ready for a
// message, or empty when it holds nothing or a regular file (a folder, with
// `folder`) that the output may replace. An output that is the same file as
// one of `inputs` is refused too.
std::string output_refusal(const std::string &path, const std::vector<std::string> &inputs = {},
                           bool folder = false);

// A file being written beside its place. open() makes it, empty, with the
// mode of the file it will replace (or the usual mode for a new one);
// commit() moves it into place. Until then, and whatever happens to the
// tool, nothing at the path changes: the temporary goes when the object does,
// and also when INT, TERM or HUP end the tool (see remove_temporaries_on_signals).
class output_file {
public:
    output_file() = default;
    ~output_file();
    output_file(const output_file &) = delete;
    output_file &operator=(const output_file &) = delete;

    // False with `error` set when the path is refused or the temporary cannot be made.
    bool open(const std::string &path, std::string &error,
              const std::vector<std::string> &inputs = {});
    int fd() const { return fd_; }
    // The temporary's name, for a program that writes the file itself.
    const std::string &temp_path() const { return temp_; }
    // Writes all n bytes; false with `error` set when the disk refuses them.
    bool write(const void *data, std::size_t n, std::string &error);
    // Flushes the file to the disk and moves it into place.
    bool commit(std::string &error);

private:
    std::string path_, temp_;
    int fd_ = -1;
    void discard();
};

// Moves finished files or folders (each `from` beside its `to`) into place,
// all or none: every `to` must hold nothing or something of the same kind as
// its `from`; should one move fail, the ones before it are undone and the
// old files are back as they were. What the moves replace is removed last.
bool move_all_into_place(const std::vector<std::pair<std::string, std::string>> &moves,
                         std::string &error);

// Makes INT, TERM and HUP remove every temporary still open (and end the
// program registered with end_on_signals) before the tool ends by the signal
// as it would have without the handlers.
void remove_temporaries_on_signals();

// A temporary file that is no output (a WAV handed to another program, say)
// removed on those signals too while it is registered; forget() unregisters it.
void remove_on_signals(const std::string &path);
void forget_on_signals(const std::string &path);

// A child process the signals end (SIGTERM, and SIGKILL should it take over
// two seconds) and wait for before the temporaries go; 0 for none, and a
// negative pid for the process group the child -pid leads.
void end_on_signals(pid_t pid);
