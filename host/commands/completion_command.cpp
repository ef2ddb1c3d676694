// completion_command.cpp -- `gloamer completion bash|zsh [-y] [FILE]` (not in --help): shell completion scripts made
// from the command definitions themselves, so that they name every command and option there is and no other.
// The build runs it to make the files the package installs.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "host/commands/command_line.h"
#include "host/process/host_error.h"
#include "host/process/output_checks.h"
#include "host/process/pending_file.h"

namespace gloamer {

namespace {

struct OptionWords {
    std::vector<std::string> names;   // --fps, -o, --output
    std::string description;
    bool takesValue = false;
    std::vector<std::string> choices; // from a type name such as small|good|high: its lowercase words
    bool files = false;               // a value that may be a path (an upper-case placeholder such as PICTURE)
};

struct CommandWords {
    std::string name; // empty for the top level
    std::string description;
    std::vector<OptionWords> options;
};

std::string firstSentence(const std::string& text)
{
    size_t end = text.find_first_of(".;:(\n");
    return text.substr(0, end);
}

std::vector<OptionWords> optionsOf(const CLI::App& command)
{
    std::vector<OptionWords> options;
    for (const CLI::Option* option : command.get_options([](const CLI::Option* o) { return o->nonpositional(); })) {
        OptionWords words;
        for (const std::string& name : option->get_snames())
            words.names.push_back("-" + name);
        for (const std::string& name : option->get_lnames())
            words.names.push_back("--" + name);
        words.description = firstSentence(option->get_description());
        words.takesValue = option->get_type_size() > 0;
        std::string type = option->get_type_name();
        std::istringstream parts(type);
        for (std::string part; std::getline(parts, part, '|');) {
            bool literal = !part.empty() && std::all_of(part.begin(), part.end(), [](char c) {
                return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
            });
            (literal ? words.choices.push_back(part) : (void)(words.files = true));
        }
        options.push_back(words);
    }
    return options;
}

std::vector<CommandWords> commandsOf(CLI::App& app)
{
    std::vector<CommandWords> commands{{"", app.get_description(), optionsOf(app)}};
    for (CLI::App* command : app.get_subcommands([](CLI::App* c) { return !c->get_group().empty(); }))
        commands.push_back({command->get_name(), firstSentence(command->get_description()), optionsOf(*command)});
    return commands;
}

std::string joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

std::string bashScript(const std::vector<CommandWords>& commands)
{
    std::vector<std::string> names;
    for (size_t i = 1; i < commands.size(); ++i)
        names.push_back(commands[i].name);
    std::ostringstream out;
    out << "# bash completion for gloamer, made by `gloamer completion bash` from its command definitions\n"
        << "_gloamer() {\n"
        << "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
        << "    local commands=\"" << joined(names) << "\" command= word\n"
        << "    for word in \"${COMP_WORDS[@]:1:COMP_CWORD-1}\"; do\n"
        << "        case \" $commands \" in *\" $word \"*) command=$word; break ;; esac\n"
        << "    done\n"
        << "    local options= values=\n"
        << "    case $command in\n";
    for (const CommandWords& command : commands) {
        std::vector<std::string> all;
        for (const OptionWords& option : command.options)
            all.insert(all.end(), option.names.begin(), option.names.end());
        out << "    " << (command.name.empty() ? "''" : command.name) << ")\n"
            << "        options=\"" << joined(all) << (command.name.empty() ? " " + joined(names) : "") << "\"\n"
            << "        case $prev in\n";
        for (const OptionWords& option : command.options)
            if (option.takesValue) {
                std::string names = joined(option.names);
                std::replace(names.begin(), names.end(), ' ', '|');
                out << "        " << names << ") values=\"" << joined(option.choices) << "\"\n"
                    << "            COMPREPLY=($(compgen -W \"$values\" -- \"$cur\"))\n"
                    << (option.files ? "            COMPREPLY+=($(compgen -f -- \"$cur\"))\n" : "")
                    << "            return ;;\n";
            }
        out << "        esac ;;\n";
    }
    out << "    esac\n"
        << "    if [[ $cur == -* || -z $command ]]; then\n"
        << "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
        << "    else\n"
        << "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
        << "    fi\n"
        << "}\n"
        << "complete -o filenames -F _gloamer gloamer\n";
    return out.str();
}

// Text inside a zsh single-quoted _arguments spec: no quote, and brackets escaped.
std::string zshText(std::string text)
{
    std::string out;
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else if (c == '[' || c == ']' || c == ':' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out;
}

std::string zshScript(const std::vector<CommandWords>& commands)
{
    std::ostringstream out;
    out << "#compdef gloamer\n"
        << "# zsh completion for gloamer, made by `gloamer completion zsh` from its command definitions\n"
        << "_gloamer() {\n"
        << "    local -a commands\n"
        << "    commands=(\n";
    for (size_t i = 1; i < commands.size(); ++i)
        out << "        '" << commands[i].name << ":" << zshText(commands[i].description) << "'\n";
    out << "    )\n"
        << "    local context state line\n"
        << "    if (( CURRENT == 2 )); then\n"
        << "        _describe -t commands 'gloamer command' commands\n"
        << "        return\n"
        << "    fi\n"
        << "    case $words[2] in\n";
    for (size_t i = 1; i < commands.size(); ++i) {
        out << "    " << commands[i].name << ")\n"
            << "        _arguments -s";
        for (const OptionWords& option : commands[i].options) {
            std::string spec = "[" + zshText(option.description) + "]";
            if (option.takesValue)
                spec += ":value:" + (option.choices.empty()
                                         ? std::string(option.files ? "_files" : " ")
                                         : "(" + joined(option.choices) + ")");
            std::string names = option.names.size() > 1 ? "{" + joined(option.names) + "}" : option.names[0];
            std::replace(names.begin(), names.end(), ' ', ',');
            out << " \\\n            " << (option.names.size() > 1 ? "'(" + joined(option.names) + ")'" : "")
                << names << "'" << spec << "'";
        }
        out << " \\\n            '*:file:_files' ;;\n";
    }
    out << "    esac\n"
        << "}\n"
        << "_gloamer \"$@\"\n";
    return out.str();
}

int writeCompletion(CLI::App& app, const std::string& shell, const std::string& file, bool overwrite)
{
    std::vector<CommandWords> commands = commandsOf(app);
    std::string script = shell == "bash" ? bashScript(commands) : zshScript(commands);
    if (file.empty()) {
        std::fputs(script.c_str(), stdout);
        return 0;
    }
    // An output like any other: checked first, then whole or not at all, renamed over a regular file alone.
    checkOutputFile(file, overwrite, {});
    PendingFile pending(file, overwrite);
    {
        std::ofstream out(pending.path(), std::ios::binary | std::ios::trunc);
        out << script;
        out.close();
        if (!out)
            throw HostError("cannot write '" + file + "': " + std::strerror(errno ? errno : EIO));
    }
    pending.commit();
    return 0;
}

} // namespace

void addCompletionCommand(CLI::App& app, CommandLine& commandLine)
{
    struct Request {
        std::string shell, file;
        bool overwrite = false;
    };
    auto request = std::make_shared<Request>();
    CLI::App* completion = app.add_subcommand("completion", "Print a shell's completion script for gloamer");
    completion->group(""); // for the build and packagers, not for --help
    completion->footer("");
    completion->add_option("SHELL", request->shell, "bash or zsh")
        ->required()
        ->check(CLI::IsMember({"bash", "zsh"}).description(""))
        ->type_name("bash|zsh");
    completion->add_option("FILE", request->file, "Write it to this file (default: standard output)")->type_name("");
    completion->add_flag("-y,--overwrite", request->overwrite, "Replace an existing FILE (never a FIFO or device)");
    completion->callback([&app, &commandLine, request] {
        commandLine.action = [&app, request] { return writeCompletion(app, request->shell, request->file, request->overwrite); };
    });
}

} // namespace gloamer
