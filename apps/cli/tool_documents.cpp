#include "tool_documents.h"

#include "tool_version.h"

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace tavrel::cli {

namespace {

// What a user sees: the options and subcommands of a group; CLI11's hidden ones have none.
bool shown(const CLI::Option* option) { return !option->get_group().empty(); }

std::vector<const CLI::App*> subcommandsOf(const CLI::App& app) {
    return app.get_subcommands([](const CLI::App* sub) { return !sub->get_group().empty(); });
}

// roff text: a backslash is escaped, a line never starts with a control character, and a
// hyphen is a minus sign (as options are typed).
std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
        if (c == '\n') out += "\\&";
    }
    return (out.empty() || (out[0] != '.' && out[0] != '\'')) ? out : "\\&" + out;
}

// One entry per option: its names in bold, what it takes in italics, then its description.
void writeOptions(const CLI::App& command, std::ostream& out) {
    const CLI::Formatter formatter;
    for (const CLI::Option* option : command.get_options(shown)) {
        out << ".TP\n";
        if (option->get_positional()) {
            out << "\\fI" << roff(option->get_name(true)) << "\\fR\n";
        } else {
            std::string names;
            for (const std::string& name : option->get_snames())
                names += (names.empty() ? "" : ", ") + ("\\fB" + roff("-" + name) + "\\fR");
            for (const std::string& name : option->get_lnames())
                names += (names.empty() ? "" : ", ") + ("\\fB" + roff("--" + name) + "\\fR");
            const std::string takes = formatter.make_option_opts(option); // " DIR" or ""
            out << names << (takes.empty() ? "" : " \\fI" + roff(takes.substr(1)) + "\\fR") << "\n";
        }
        out << roff(option->get_description()) << "\n";
    }
}

std::string wordsOf(const CLI::App& command) {
    std::string words;
    for (const CLI::Option* option : command.get_options(shown)) {
        if (option->get_positional()) continue;
        for (const std::string& name : option->get_snames())
            words += " -" + name;
        for (const std::string& name : option->get_lnames())
            words += " --" + name;
    }
    return words;
}

// The tool's description starts with its name, which the manual page's NAME line gives.
std::string withoutName(const std::string& description) {
    const std::string name = "tavrel: ";
    return description.rfind(name, 0) == 0 ? description.substr(name.size()) : description;
}

} // namespace

std::string versionLine() {
    return std::string("tavrel ") + tool_version + " (commit " + tool_commit + ")";
}

void writeManualPage(const CLI::App& app, std::ostream& out) {
    out << ".TH TAVREL 1 \"\" \"tavrel " << tool_version << "\" \"User Commands\"\n"
        << ".SH NAME\ntavrel \\- " << roff(withoutName(app.get_description())) << "\n"
        << ".SH SYNOPSIS\n.B tavrel\n.I COMMAND\n[\\fIOPTIONS\\fR]\n"
        << ".SH OPTIONS\n";
    writeOptions(app, out);
    out << ".SH COMMANDS\n";
    for (const CLI::App* sub : subcommandsOf(app)) {
        out << ".SS \"tavrel " << roff(sub->get_name()) << "\"\n"
            << roff(sub->get_description()) << "\n";
        writeOptions(*sub, out);
    }
    out << ".SH ENVIRONMENT\n.TP\n.B TAVREL_PLUGIN_PATH\n"
        << "Folders, separated by colons, in which a block named in a scenario is looked up as "
           "NAME.mexa64, in place of the plug-in folder installed with the tool.\n"
        << ".SH FILES\n"
        << "Relative to the folder of the installed program: "
           "\\fI../lib/tavrel/plugins\\fR (the shipped blocks), "
           "\\fI../lib/tavrel/fmu\\fR (the FMU binaries), "
           "\\fI../lib/python3/dist-packages/tavrel\\fR (the Python package that draws "
           "figures, runs searches and Dask studies) and "
           "\\fI../share/tavrel\\fR (scenarios, studies and examples).\n";
}

void writeBashCompletion(const CLI::App& app, std::ostream& out) {
    out << "# bash completion for tavrel, made by `tavrel --bash-completion`: do not edit.\n"
        << "_tavrel() {\n"
        << "    local cur=${COMP_WORDS[COMP_CWORD]} command= i\n"
        << "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        << "        case ${COMP_WORDS[i]} in -*) ;; *) command=${COMP_WORDS[i]}; break ;; esac\n"
        << "    done\n"
        << "    local words\n"
        << "    case $command in\n";
    std::string commands;
    for (const CLI::App* sub : subcommandsOf(app)) {
        commands += " " + sub->get_name();
        out << "        " << sub->get_name() << ") words=\"" << wordsOf(*sub) << "\" ;;\n";
    }
    out << "        \"\") words=\"" << commands << wordsOf(app) << "\" ;;\n"
        << "        *) return ;;\n"
        << "    esac\n"
        << "    # Past the command, anything not an option is a file (left to -o default).\n"
        << "    if [[ -z $command || $cur == -* ]]; then\n"
        << "        COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
        << "    fi\n"
        << "}\n"
        << "complete -o default -F _tavrel tavrel\n";
}

void addToolDocuments(CLI::App& app) {
    app.set_version_flag("--version", versionLine());
    const auto print = [&app](void (*write)(const CLI::App&, std::ostream&)) {
        return [&app, write](std::int64_t) {
            write(app, std::cout);
            throw CLI::Success();
        };
    };
    app.add_flag_function("--manual-page", print(writeManualPage), "print the manual page (roff)")
        ->group("");
    app.add_flag_function("--bash-completion", print(writeBashCompletion),
                          "print the bash completion script")
        ->group("");
}

} // namespace tavrel::cli
