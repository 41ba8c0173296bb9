#include "tool_options.h"

#include <getopt.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "option_number.h"

namespace {

// getopt_long hands back an option as its index plus this, clear of every
// short option's character.
constexpr int FIRST_LONG = 256;

std::string number_text(double v) {
    char s[32];
    std::snprintf(s, sizeof s, "%g", v);
    return s;
}

}  // namespace

tool_options::tool_options(const char *tool, const char *usage, const char *notes)
    : tool_(tool), usage_(usage), notes_(notes) {}

void tool_options::flag(const char *name, const char *help, bool &set) {
    entries_.push_back({name, nullptr, help, 0,
                        [&set](const std::vector<const char *> &) {
                            set = true;
                            return std::string();
                        },
                        entries_.size()});
}

void tool_options::text(const char *name, const char *value, const char *help, std::string &into) {
    const std::string option = std::string("--") + name;
    custom(name, value, help, 1, [option, &into](const std::vector<const char *> &w) {
        into = w[0];
        return into.empty() ? option + " needs its argument, not an empty word" : std::string();
    });
}

void tool_options::number(const char *name, const char *value, const char *help, double low,
                          double high, double &into) {
    const std::string option = std::string("--") + name;
    custom(name, value, help, 1, [=, &into](const std::vector<const char *> &w) {
        return read_number(option.c_str(), w[0], low, high, into);
    });
}

void tool_options::whole(const char *name, const char *value, const char *help, int low, int high,
                         int &into) {
    const std::string option = std::string("--") + name;
    custom(name, value, help, 1, [=, &into](const std::vector<const char *> &w) {
        double v = 0;
        std::string why = read_number(option.c_str(), w[0], low, high, v, true);
        if (why.empty())
            into = static_cast<int>(v);
        return why;
    });
}

void tool_options::custom(const char *name, const char *value, const char *help, int words,
                          taker take) {
    entries_.push_back({name, value, help, words, std::move(take), entries_.size()});
}

void tool_options::alias(const char *name) {
    entry e = entries_.back();
    e.name = name;
    entries_.push_back(std::move(e));
}

std::string tool_options::read_number(const char *name, const char *text, double low, double high,
                                      double &v, bool whole) {
    if (option_number(text, low, high, v) && (!whole || v == std::floor(v)))
        return "";
    const std::string range = std::isinf(high)
                                  ? "of at least " + number_text(low)
                                  : "from " + number_text(low) + " to " + number_text(high);
    return std::string(name) + " takes a " + (whole ? "whole " : "") + "number " + range +
           ", not '" + text + "'";
}

void tool_options::help(std::FILE *to) const {
    std::fprintf(to, "%s\nOptions:\n", usage_);
    auto line = [to](const std::string &head, const char *help) {
        // Help of several lines stays in its column.
        std::string text = help;
        for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 25)
            text.replace(at, 1, "\n" + std::string(24, ' '));
        if (head.size() > 20)
            std::fprintf(to, "  %s\n%24s%s\n", head.c_str(), "", text.c_str());
        else
            std::fprintf(to, "  %-22s%s\n", head.c_str(), text.c_str());
    };
    for (std::size_t i = 0; i < entries_.size(); i++)
        if (const entry &e = entries_[i]; e.stands_for == i)
            line("--" + e.name + (e.value ? std::string(" ") + e.value : ""), e.help);
    line("-h, --help", "print this help");
    std::fputs(notes_, to);
}

int tool_options::mistake(const std::string &message) const {
    // The usage lines, up to the blank line before what the tool does.
    const char *end = std::strstr(usage_, "\n\n");
    const int n = end ? static_cast<int>(end - usage_ + 1) : static_cast<int>(std::strlen(usage_));
    // A word of the command line is echoed with its control bytes shown, not sent to the terminal.
    std::string shown;
    for (const unsigned char c : message) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        shown += c < 0x20 || c == 0x7f ? std::string(hex) : std::string(1, static_cast<char>(c));
    }
    std::fprintf(stderr, "%s: %s\n%.*s", tool_, shown.c_str(), n, usage_);
    return 2;
}

// What is wrong with a word getopt_long did not know: a name no option has,
// or the start of several.
std::string tool_options::unknown(const char *word) const {
    std::string name(word);
    name = name.substr(0, name.find('='));
    std::string matches;
    int count = 0;
    if (name.size() > 2)
        for (std::size_t i = 0; i < entries_.size(); i++)
            if (("--" + entries_[i].name).compare(0, name.size(), name) == 0 &&
                entries_[i].stands_for == i)
                matches += (count++ ? ", --" : " --") + entries_[i].name;
    if (std::string("--help").compare(0, name.size(), name) == 0 && name.size() > 2)
        matches += (count++ ? ", --help" : " --help");
    if (count > 1)
        return name + " is the start of more than one option:" + matches;
    return "unknown option " + name + " (" + tool_ + " --help lists them)";
}

// An option's words into its entry: its value, then as many more words as it takes.
int tool_options::take(const entry &e, int argc, char **argv) {
    std::vector<const char *> words;
    if (e.words > 0)
        words.push_back(optarg);
    for (int k = 1; k < e.words; k++) {
        if (optind >= argc)
            return mistake("--" + e.name + " needs " + e.value);
        words.push_back(argv[optind++]);
    }
    const std::string why = e.take(words);
    return why.empty() ? -1 : mistake(why);
}

int tool_options::parse(int argc, char **argv, std::size_t min_operands, std::size_t max_operands) {
    std::vector<option> longs;
    for (const entry &e : entries_)
        longs.push_back({e.name.c_str(), e.words ? required_argument : no_argument, nullptr,
                         FIRST_LONG + static_cast<int>(e.stands_for)});
    longs.push_back({"help", no_argument, nullptr, 'h'});
    longs.push_back({nullptr, 0, nullptr, 0});
    opterr = 0;
    optind = 0;  // getopt starts afresh, should a tool read two command lines
    for (int c; (c = getopt_long(argc, argv, ":h", longs.data(), nullptr)) != -1;) {
        if (c == 'h') {
            help(stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (c == ':' || c == '?') {
            // The option named as given: a long one by its name, a short one
            // by optopt (inside a cluster such as -xy the word is not its own).
            const bool long_one =
                optopt >= FIRST_LONG && optopt < FIRST_LONG + int(entries_.size());
            const std::string named =
                long_one ? "--" + entries_[static_cast<std::size_t>(optopt - FIRST_LONG)].name
                : optopt == 'h' ? std::string("--help")
                                : std::string("-") + static_cast<char>(optopt);
            if (c == ':')
                return mistake(named + " needs its argument");
            if (long_one || optopt == 'h')
                return mistake(named + " takes no argument");
            return mistake(optopt ? "unknown option " + named + " (" + tool_ + " --help lists them)"
                                  : unknown(argv[optind - 1]));
        }
        const int status = take(entries_[static_cast<std::size_t>(c - FIRST_LONG)], argc, argv);
        if (status >= 0)
            return status;
    }
    operands_.assign(argv + optind, argv + argc);
    if (operands_.size() > max_operands)
        return mistake("unexpected argument '" + operands_[max_operands] + "'");
    if (operands_.size() < min_operands) {
        auto args = [](std::size_t n) {
            return std::to_string(n) + (n == 1 ? " argument" : " arguments");
        };
        const std::string wanted = min_operands == max_operands ? args(min_operands)
                                   : max_operands == SIZE_MAX
                                       ? "at least " + args(min_operands)
                                       : std::to_string(min_operands) + " to " + args(max_operands);
        return mistake("takes " + wanted + ", not " + std::to_string(operands_.size()));
    }
    return -1;
}
