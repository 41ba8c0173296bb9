// The command line of a tool, read the same way by every tool: long options
// through getopt_long, -h and --help printing the help on standard output
// (status 0), and every mistake (an unknown or ambiguous option, a missing or
// unwanted argument, a value out of its range, too many or too few operands)
// named on standard error as "TOOL: ..." with the usage after it (status 2).
// Numbers are read through option_number.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class tool_options {
public:
    // `usage`: how to call the tool ("usage: tool [OPTION]... FILE\n"), then,
    // after a blank line, what it does; `notes`: text printed after the options.
    tool_options(const char *tool, const char *usage, const char *notes = "");

    // What an option's words are handed to: why they are refused, or "" when taken.
    using taker = std::function<std::string(const std::vector<const char *> &)>;

    // A flag, set when given.
    void flag(const char *name, const char *help, bool &set);
    // An option with one word of value, named `value` in the help.
    void text(const char *name, const char *value, const char *help, std::string &into);
    // A finite number within [low, high].
    void number(const char *name, const char *value, const char *help, double low, double high,
                double &into);
    // A whole number within [low, high].
    void whole(const char *name, const char *value, const char *help, int low, int high, int &into);
    // An option of `words` words (its value and the ones after it on the
    // command line, "--at X Y"), checked by `take`.
    void custom(const char *name, const char *value, const char *help, int words, taker take);
    // A second name for the option added last, not listed in the help.
    void alias(const char *name);

    // Reads the command line: -1 when the tool goes on with operands(), 0
    // after --help, 2 after a mistake said on standard error. The words that
    // are no options are the operands, from min_operands to max_operands of them.
    int parse(int argc, char **argv, std::size_t min_operands, std::size_t max_operands);
    const std::vector<std::string> &operands() const { return operands_; }

    // A mistake found in the command line after parse(), said as the others
    // are; returns 2.
    int mistake(const std::string &message) const;
    void help(std::FILE *to) const;

    // Why `text` is no number within [low, high] for the option `name`
    // ("--top takes a number from 1 to 22050, not 'x'"), or "" with it in `v`.
    static std::string read_number(const char *name, const char *text, double low, double high,
                                   double &v, bool whole = false);

private:
    struct entry {
        std::string name;
        const char *value, *help;
        int words;  // 0: a flag
        taker take;
        std::size_t stands_for;  // the entry it is a second name of, or its own index
    };
    const char *tool_, *usage_, *notes_;
    std::vector<entry> entries_;
    std::vector<std::string> operands_;
    std::string unknown(const char *word) const;
    int take(const entry &e, int argc, char **argv);
};
