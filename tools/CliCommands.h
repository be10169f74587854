// A tool's commands on CLI11: one subcommand each, told apart by a value of
// the tool's own enum, and what both tools' command lines do with them (parse,
// find the command named, print the help asked for). Header-only; bonhost
// and simreg build on it.
#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <string>
#include <utility>
#include <vector>

template <class Command>
class CliCommands {
public:
    // `sub` stands for `command`.
    void Name(CLI::App* sub, Command command) { named_.emplace_back(sub, command); }

    // Whether the arguments named a command (before any refusal).
    bool Named() const { return NamedSub() != nullptr; }
    // The command named, or `none`.
    Command Selected(Command none) const {
        for (const auto& named : named_)
            if (named.first->parsed()) return named.second;
        return none;
    }
    // The subcommand named, or null.
    const CLI::App* NamedSub() const {
        for (const auto& named : named_)
            if (named.first->parsed()) return named.first;
        return nullptr;
    }

    // Throws CLI11's ParseError (CallForHelp for --help).
    static void Parse(CLI::App& app, const std::vector<std::string>& args) {
        std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them from the back
        app.parse(reversed);
    }
    // The help of the command named, or of all when none was (or `help`,
    // the subcommand `helpCommand`, was).
    static std::string Help(const CLI::App& app, const CLI::App* helpCommand) {
        if (helpCommand->parsed())
            return app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal);
        return app.help();
    }
    // The listing's look, set after the commands (which would inherit it): a
    // first column `width` wide headed COMMAND, and `footer` under it.
    static void SetListing(CLI::App& app, size_t width, const std::string& footer) {
        auto listing = std::make_shared<CLI::Formatter>();
        listing->column_width(width);
        listing->label("SUBCOMMAND", "COMMAND");
        app.formatter(listing);
        app.footer(footer);
    }

private:
    std::vector<std::pair<CLI::App*, Command>> named_;
};
